#include "report/page_assets.h"

// The page makes no request of any kind: styles and script are inline, and
// the content security policy forbids anything else, so a report opened from
// a file or an e-mail stays as it was written. Colours are from the
// Okabe-Ito palette, which readers with a colour-vision deficiency tell apart;
// fill and outline also tell the classes apart in grey print.
const char* const page_head = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>quorin report</title>
<style>
body { font-family: sans-serif; color: #000; background: #fff; margin: 1.5em auto; max-width: 1100px; padding: 0 1em; line-height: 1.35; }
h1 { font-size: 1.5em; margin: 0 0 .5em; }
h2 { font-size: 1.25em; border-bottom: 1px solid #999; margin-top: 1.5em; }
h3 { font-size: 1.05em; margin: 1.2em 0 .2em; }
h4 { font-size: .95em; margin: .3em 0; }
code { font-family: monospace; word-break: break-all; }
table { border-collapse: collapse; font-size: .9em; }
th, td { padding: .15em .6em; text-align: left; vertical-align: top; }
table.run th { font-weight: normal; color: #444; }
#results th { cursor: pointer; user-select: none; border-bottom: 2px solid #000; white-space: nowrap; }
#results th[aria-sort=ascending]::after { content: " \25B2"; }
#results th[aria-sort=descending]::after { content: " \25BC"; }
#results td:nth-child(n+2), table.genes td:nth-child(n+3) { text-align: right; font-variant-numeric: tabular-nums; }
#results tbody tr:nth-child(even), table.genes tbody tr:nth-child(even) { background: #f0f0f0; }
#results td:first-child { word-break: break-all; }
.controls input { font: inherit; }
figure { margin: .5em 0; }
figcaption { font-size: .85em; color: #333; max-width: 760px; }
svg { max-width: 100%; height: auto; font-family: sans-serif; }
svg .grid { stroke: #e3e3e3; }
svg .tick, svg .frame { stroke: #000; fill: none; }
svg .zero-line { stroke: #777; stroke-dasharray: 4 3; }
svg .zero-band { stroke: #000; stroke-dasharray: 2 2; }
svg .leader { stroke: #555; stroke-width: .7; }
svg text { font-size: 12px; fill: #000; }
svg .tick-label { font-size: 11px; }
svg .axis-title { font-size: 13px; }
svg .point-label { font-size: 11px; paint-order: stroke; stroke: #fff; stroke-width: 3px; }
svg .gene-number { font-size: 10px; paint-order: stroke; stroke: #fff; stroke-width: 3px; }
svg .pt-ns { fill: none; stroke: #999; stroke-width: 1; }
svg .pt-pos { fill: #D55E00; stroke: #000; stroke-width: .6; }
svg .pt-neg { fill: #0072B2; stroke: #000; stroke-width: .6; }
svg .dot { stroke-linecap: round; fill: none; stroke-opacity: .75; }
svg .pos { stroke: #D55E00; }
svg .neg { stroke: #0072B2; }
svg .zero { stroke: #999; }
svg .dot.hole { stroke: #fff; stroke-opacity: 1; }
svg .gene-tick { stroke-width: 1.5; fill: none; }
svg .curve { stroke: #000; stroke-width: 1.5; fill: none; }
.heat canvas { cursor: pointer; }
svg .top-gene { fill: none; stroke: #000; stroke-width: 1; }
.panel figure { max-width: 440px; }
.panel-body { display: flex; flex-wrap: wrap; gap: 1em; align-items: flex-start; }
.stats { margin: 0; font-size: .9em; }
.dir { font-weight: normal; }
.key { display: inline-block; width: .8em; height: .8em; border-radius: 50%; vertical-align: middle; }
.key.pos { background: #D55E00; }
.key.neg { background: #0072B2; }
.note { font-size: .85em; color: #333; }
.warnings { background: #f3f3f3; border-left: 5px solid #000; padding: .2em 1em .4em; margin: 1em 0; }
.warnings h2 { border: 0; margin: .3em 0; font-size: 1.1em; }
.warnings ul { margin: .2em 0; padding-left: 1.2em; font-family: monospace; font-size: .9em; }
.empty { border: 1px dashed #999; padding: 1em; }
#methods p { max-width: 900px; }
.heat { overflow-x: auto; max-width: 100%; }
table.summary a, .in-ranking { word-break: break-all; }
.in-ranking { font-weight: normal; }
#ranking-summary tbody tr.chosen, #results tbody tr.chosen { outline: 2px solid #000; }
#ranking-summary td:nth-child(n+2) { text-align: right; }
#ranking-summary { display: block; max-height: 24em; overflow-y: auto; }
@media print {
  body { margin: 0; max-width: none; font-size: 10pt; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  .controls, noscript, #heat-info { display: none; }
  #ranking-summary { max-height: none; overflow: visible; }
  h2 { break-after: avoid; }
  .panel, figure, tr { break-inside: avoid; }
  a { color: inherit; text-decoration: none; }
  #results th[aria-sort]::after { content: ""; }
}
</style>
</head>
<body>
)";

// The result table travels packed (gzip, base64) in the JSON block: the
// browser unpacks it with its own gzip decompression, the download link
// saves exactly those bytes, and the table shows their lines. With several
// rankings, the rankings' lines lie together; the page shows one ranking at
// a time, chosen in the summary or the heatmap. Sorting parses the numbers
// (inf and nan too) and keeps table order among equals; names are compared
// as text. Text goes in through textContent only, so no name can become
// markup. window.quorinReady settles once the page is drawn.
const char* const page_script = R"js(<script>
(function () {
  "use strict";
  var data = JSON.parse(document.getElementById("report-data").textContent);

  function unpack(text) {
    var raw = atob(text), bytes = new Uint8Array(raw.length);
    for (var k = 0; k < raw.length; k++) bytes[k] = raw.charCodeAt(k);
    var stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("gzip"));
    return new Response(stream).arrayBuffer().then(function (b) { return new Uint8Array(b); });
  }

  window.quorinReady = unpack(data.table).then(setUp).catch(function (e) {
    document.getElementById("shown").textContent = "The table could not be unpacked: " + e;
    throw e;
  });

  function setUp(bytes) {
    var link = document.getElementById("download");
    link.href = URL.createObjectURL(new Blob([bytes], {type: "text/tab-separated-values"}));
    link.download = data.file;
    var lines = new TextDecoder().decode(bytes).split("\n");
    lines.pop();
    var head = lines[0].split("\t");
    // A line is split into its cells when first needed: a page shows one
    // ranking's lines of a table that may hold a hundred thousand.
    var split = [];
    var rows = {length: lines.length - 1};
    function row(i) { return split[i] || (split[i] = lines[i + 1].split("\t")); }
    var nameColumn = head.indexOf("Gene-set");
    var textColumns = {"List": true, "Gene-set": true, "Cor_dir": true};
    var table = document.getElementById("results");
    var body = table.tBodies[0];
    var heads = Array.prototype.slice.call(table.tHead.rows[0].cells);
    var filter = document.getElementById("filter");
    var shown = document.getElementById("shown");
    var rankings = data.rankings;
    var first = 0, count = rows.length, chosenRow = -1, chosenRanking = -1;
    var order = [];
    var sortColumn = -1, ascending = true;

    function number(text) {
      if (text === "inf") return Infinity;
      if (text === "-inf") return -Infinity;
      return Number(text);
    }

    function render() {
      var needle = filter.value.toLowerCase();
      var shownRows = document.createDocumentFragment();
      var n = 0;
      order.forEach(function (i) {
        var cells = row(i);
        if (needle && cells[nameColumn].toLowerCase().indexOf(needle) < 0) return;
        var tr = document.createElement("tr");
        if (i === chosenRow) tr.className = "chosen";
        cells.forEach(function (text, column) {
          var td = document.createElement("td");
          if (column === nameColumn && document.getElementById("set-" + (i + 1))) {
            var a = document.createElement("a");
            a.href = "#set-" + (i + 1);
            a.textContent = text;
            td.appendChild(a);
          } else {
            td.textContent = text;
          }
          tr.appendChild(td);
        });
        shownRows.appendChild(tr);
        n++;
      });
      body.textContent = "";
      body.appendChild(shownRows);
      shown.textContent = n + " of " + count + " sets shown";
    }

    function sortRows() {
      if (sortColumn < 0) return;
      var numeric = !textColumns[head[sortColumn]];
      order.sort(function (a, b) {
        var x = row(a)[sortColumn], y = row(b)[sortColumn], c;
        if (numeric) {
          x = number(x);
          y = number(y);
          // nan (and "exact") last in either direction
          if (isNaN(x) || isNaN(y)) return (isNaN(x) - isNaN(y)) || a - b;
        }
        c = x < y ? -1 : x > y ? 1 : 0;
        return (ascending ? c : -c) || a - b;
      });
    }

    function sortBy(column) {
      ascending = column === sortColumn ? !ascending : true;
      sortColumn = column;
      sortRows();
      heads.forEach(function (th, k) {
        if (k === column) th.setAttribute("aria-sort", ascending ? "ascending" : "descending");
        else th.removeAttribute("aria-sort");
      });
      render();
    }

    function choose(ranking, row) {
      if (rankings) {
        chosenRanking = ranking;
        first = rankings[ranking].from;
        count = rankings[ranking].count;
        ["ranking-name", "panel-ranking"].forEach(function (id) {
          document.getElementById(id).textContent = rankings[ranking].name;
        });
        document.querySelectorAll(".ranking-panels").forEach(function (div) {
          div.hidden = div.getAttribute("data-ranking") !== String(ranking);
        });
        document.querySelectorAll("#ranking-summary tbody tr").forEach(function (tr, k) {
          tr.className = k === ranking ? "chosen" : "";
        });
      }
      chosenRow = row;
      order = [];
      for (var i = first; i < first + count; i++) order.push(i);
      sortRows();
      render();
    }

    heads.forEach(function (th, k) {
      th.title = "Sort by " + th.textContent;
      th.addEventListener("click", function () { sortBy(k); });
    });
    filter.addEventListener("input", render);
    document.querySelectorAll("#ranking-summary a").forEach(function (a) {
      a.addEventListener("click", function () { choose(Number(a.getAttribute("data-ranking")), -1); });
    });
    choose(0, -1);
    var heat = document.getElementById("heat-data");
    if (heat) drawHeatmap(JSON.parse(heat.textContent), row, head, choose);
    window.quorinShown = {ranking: function () { return chosenRanking; }};
  }

  // White to vermillion (213, 94, 0) for positive, to blue (0, 114, 178)
  // for negative estimates, by the share of the largest magnitude shown, in
  // 32 steps.
  function shade(value, top) {
    if (!isFinite(value)) return value > 0 ? "rgb(213,94,0)" : value < 0 ? "rgb(0,114,178)" : "#bbb";
    var t = top > 0 ? Math.round(Math.min(1, Math.abs(value) / top) * 32) / 32 : 0;
    var end = value >= 0 ? [213, 94, 0] : [0, 114, 178];
    return "rgb(" + end.map(function (c) { return Math.round(255 + (c - 255) * t); }).join(",") + ")";
  }

  // A canvas: twenty thousand cells draw in a blink, where as elements they
  // take seconds. The cell of column r and row s has its top left corner at
  // (left + r * cw, top + s * ch), which the canvas carries as data-*.
  function drawHeatmap(h, row, head, choose) {
    var estimate = head.indexOf("Estimate"), fdr = head.indexOf("FDR");
    var sets = h.sets.length, columns = h.rankings;
    var cw = Math.max(3, Math.min(18, Math.floor(760 / columns))), ch = 14;
    var left = 190, top = cw >= 10 ? 110 : 16, height = top + sets * ch + 60;
    var width = Math.max(left + columns * cw + 10, left + 490);  // the legend's width at least
    var biggest = 0, values = h.cells.map(function (k) {
      var v = k >= 0 ? Number(row(k)[estimate]) : NaN;
      if (isFinite(v)) biggest = Math.max(biggest, Math.abs(v));
      return v;
    });
    var canvas = document.createElement("canvas"), ratio = window.devicePixelRatio || 1;
    canvas.width = Math.ceil(width * ratio);
    canvas.height = Math.ceil(height * ratio);
    canvas.style.width = width + "px";
    canvas.style.height = height + "px";
    canvas.setAttribute("role", "img");
    canvas.setAttribute("aria-label", "Estimate of each set (rows) in each ranking (columns)");
    [["left", left], ["top", top], ["cw", cw], ["ch", ch]].forEach(function (p) { canvas.dataset[p[0]] = p[1]; });
    var g = canvas.getContext("2d");
    g.scale(ratio, ratio);
    g.fillStyle = "#fff";
    g.fillRect(0, 0, width, height);
    var w = cw - (cw > 4 ? 1 : 0), byColour = {}, marks = [];
    h.cells.forEach(function (k, c) {
      var colour = k < 0 ? "#e4e4e4" : shade(values[c], biggest);
      (byColour[colour] = byColour[colour] || []).push(c);
      if (k >= 0 && Number(row(k)[fdr]) < 0.05) marks.push(c);
    });
    Object.keys(byColour).forEach(function (colour) {
      g.fillStyle = colour;
      byColour[colour].forEach(function (c) {
        g.fillRect(left + (c % columns) * cw, top + Math.floor(c / columns) * ch, w, ch - 1);
      });
    });
    var radius = Math.max(1.2, Math.min(cw, ch) / 4);
    g.beginPath();
    marks.forEach(function (c) {
      var x = left + (c % columns) * cw + w / 2, y = top + Math.floor(c / columns) * ch + (ch - 1) / 2;
      g.moveTo(x + radius, y);
      g.arc(x, y, radius, 0, 2 * Math.PI);
    });
    g.fillStyle = "#000";
    g.fill();
    g.font = "11px sans-serif";
    g.textAlign = "right";
    h.sets.forEach(function (name, s) {
      g.fillText(name.length > 30 ? name.slice(0, 29) + "\u2026" : name, left - 6, top + s * ch + 11);
    });
    g.textAlign = "left";
    if (cw >= 10) {
      for (var r = 0; r < columns; r++) {
        var name = data.rankings[r].name;
        g.save();
        g.translate(left + r * cw + cw / 2 + 4, top - 4);
        g.rotate(-Math.PI / 3);
        g.fillText(name.length > 18 ? name.slice(0, 17) + "\u2026" : name, 0, 0);
        g.restore();
      }
    }
    // The legend: five shades with their estimates, untested, the mark.
    var ly = top + sets * ch + 20;
    function swatch(x, colour, text) {
      g.fillStyle = colour;
      g.fillRect(x, ly, 16, 12);
      g.strokeStyle = "#999";
      g.strokeRect(x + 0.5, ly + 0.5, 15, 11);
      g.fillStyle = "#000";
      g.fillText(text, x + 20, ly + 10);
    }
    [-1, -0.5, 0, 0.5, 1].forEach(function (f, j) {
      swatch(left + j * 60, shade(f * biggest, biggest), (f * biggest).toPrecision(2));
    });
    swatch(left + 300, "#e4e4e4", "not tested");
    g.beginPath();
    g.arc(left + 400, ly + 6, 3, 0, 2 * Math.PI);
    g.fill();
    g.fillText("FDR < 0.05", left + 408, ly + 10);
    g.fillText("Estimate; columns: rankings" + (cw >= 10 ? "" : " (hover for names)"), left, ly + 34);

    var info = document.getElementById("heat-info");
    function cellAt(event) {
      var box = canvas.getBoundingClientRect();
      var x = (event.clientX - box.left) * width / box.width - left, y = (event.clientY - box.top) * height / box.height - top;
      var r = Math.floor(x / cw), s = Math.floor(y / ch);
      return r < 0 || r >= columns || s < 0 || s >= sets ? -1 : s * columns + r;
    }
    canvas.addEventListener("mousemove", function (event) {
      var c = cellAt(event);
      if (c < 0) return;
      var k = h.cells[c], name = h.sets[Math.floor(c / columns)], ranking = data.rankings[c % columns].name;
      info.textContent = name + " in " + ranking + (k < 0 ? ": not tested" :
        ": estimate " + row(k)[estimate] + ", FDR " + row(k)[fdr]);
    });
    canvas.addEventListener("click", function (event) {
      var c = cellAt(event);
      if (c < 0) return;
      var k = h.cells[c];
      choose(c % columns, k);
      var target = k >= 0 && document.getElementById("set-" + (k + 1)) || document.getElementById("table");
      target.scrollIntoView();
    });
    document.getElementById("heat").appendChild(canvas);
  }
})();
</script>
)js";
