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
svg .dot-follows { stroke: #0072B2; stroke-linecap: round; fill: none; stroke-opacity: .7; }
svg .dot-against { stroke: #E69F00; stroke-linecap: round; fill: none; stroke-opacity: .7; }
svg .top-gene { fill: none; stroke: #000; stroke-width: 1; }
.panel figure { max-width: 440px; }
.panel-body { display: flex; flex-wrap: wrap; gap: 1em; align-items: flex-start; }
.stats { margin: 0; font-size: .9em; }
.dir { font-weight: normal; }
.key { display: inline-block; width: .8em; height: .8em; border-radius: 50%; vertical-align: middle; }
.key.follows { background: #0072B2; }
.key.against { background: #E69F00; }
@media print {
  body { margin: 0; max-width: none; font-size: 10pt; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  .controls, noscript { display: none; }
  h2 { break-after: avoid; }
  .panel, figure, tr { break-inside: avoid; }
  a { color: inherit; text-decoration: none; }
  #results th[aria-sort]::after { content: ""; }
}
</style>
</head>
<body>
)";

// The rows come from the JSON block beside it: cells as the result table
// prints them. Sorting parses the numbers (inf and nan too) and keeps table
// order among equals; names are compared as text. Text goes in through
// textContent only, so no name can become markup.
const char* const page_script = R"(<script>
(function () {
  "use strict";
  var rows = JSON.parse(document.getElementById("rows").textContent);
  var table = document.getElementById("results");
  var body = table.tBodies[0];
  var heads = Array.prototype.slice.call(table.tHead.rows[0].cells);
  var filter = document.getElementById("filter");
  var shown = document.getElementById("shown");
  var order = rows.map(function (r, i) { return i; });
  var sortColumn = -1, ascending = true;

  function number(text) {
    if (text === "inf") return Infinity;
    if (text === "-inf") return -Infinity;
    return Number(text);
  }

  function render() {
    var needle = filter.value.toLowerCase();
    var cells = document.createDocumentFragment();
    var count = 0;
    order.forEach(function (i) {
      var row = rows[i];
      if (needle && row[0].toLowerCase().indexOf(needle) < 0) return;
      var tr = document.createElement("tr");
      row.forEach(function (text, column) {
        var td = document.createElement("td");
        if (column === 0 && document.getElementById("set-" + (i + 1))) {
          var a = document.createElement("a");
          a.href = "#set-" + (i + 1);
          a.textContent = text;
          td.appendChild(a);
        } else {
          td.textContent = text;
        }
        tr.appendChild(td);
      });
      cells.appendChild(tr);
      count++;
    });
    body.textContent = "";
    body.appendChild(cells);
    shown.textContent = count + " of " + rows.length + " sets shown";
  }

  function sortBy(column) {
    ascending = column === sortColumn ? !ascending : true;
    sortColumn = column;
    var numeric = column !== 0 && column !== 2;
    order.sort(function (a, b) {
      var x = rows[a][column], y = rows[b][column], c;
      if (numeric) {
        x = number(x);
        y = number(y);
        // nan last in either direction
        if (isNaN(x) || isNaN(y)) return (isNaN(x) - isNaN(y)) || a - b;
      }
      c = x < y ? -1 : x > y ? 1 : 0;
      return (ascending ? c : -c) || a - b;
    });
    heads.forEach(function (th, k) {
      if (k === column) th.setAttribute("aria-sort", ascending ? "ascending" : "descending");
      else th.removeAttribute("aria-sort");
    });
    render();
  }

  heads.forEach(function (th, k) {
    th.title = "Sort by " + th.textContent;
    th.addEventListener("click", function () { sortBy(k); });
  });
  filter.addEventListener("input", render);
  render();
})();
</script>
)";
