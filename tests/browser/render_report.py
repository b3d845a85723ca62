#!/usr/bin/env python3
"""Opens quorin's HTML report in headless chromium and checks what a reader
would see: no script or console error, no request leaving the file, a table
with one row per tested set, sorting by P-value putting the smallest first,
filtering by name, the panels, a page that prints, a screenshot that is
not blank, and a "Download TSV" that saves the result table byte for byte.
With --lists: a heatmap cell per (set, ranking) shown, and a click on a
cell shows that ranking's table; 200 rankings x 500 sets make a page of at
most 5 MB that is drawn within 3 s.

Chromium is driven through its DevTools protocol over a pipe
(--remote-debugging-pipe: commands on fd 3, replies on fd 4, each message
JSON ended by a NUL byte), with nothing but Python's standard library.

usage: render_report.py QUORIN EXAMPLES_DIR REAL_DATA_DIR [SCREENSHOT.png [LISTS_SCREENSHOT.png]]
Exit status 77 (skipped) when chromium is not installed. The real data is
skipped when absent. With SCREENSHOT.png, the examples' screenshots are kept
(the page's top, and its first panel beside it as NAME_panel.png).
"""
import base64
import json
import os
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

TIMEOUT = 60


class Browser:
    def __init__(self, profile):
        exe = os.environ.get("CHROMIUM") or shutil.which("chromium") or shutil.which("chromium-browser")
        cmd_r, self.cmd_w = os.pipe()
        self.reply_r, reply_w = os.pipe()
        # The protocol wants fd 3 and fd 4 in chromium; park the two ends
        # above them first so that the moves cannot overwrite each other.
        high_r, high_w = os.dup(cmd_r) + 100, os.dup(reply_w) + 100
        os.dup2(cmd_r, high_r)
        os.dup2(reply_w, high_w)

        def place_fds():
            os.dup2(high_r, 3)
            os.dup2(high_w, 4)

        self.proc = subprocess.Popen(
            [exe, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--disable-extensions", "--hide-scrollbars", "--remote-debugging-pipe",
             "--user-data-dir=" + profile, "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=place_fds, pass_fds=(3, 4))
        for fd in (cmd_r, reply_w, high_r, high_w):
            os.close(fd)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        self.session = None

    def close(self):
        try:
            self.call("Browser.close", browser_level=True)
        except Exception:
            pass
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        os.close(self.cmd_w)
        os.close(self.reply_r)

    def _read_message(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.time()
            if left <= 0 or not select.select([self.reply_r], [], [], left)[0]:
                raise RuntimeError("chromium did not answer within %d s" % TIMEOUT)
            chunk = os.read(self.reply_r, 1 << 20)
            if not chunk:
                raise RuntimeError("chromium closed the protocol pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, browser_level=False):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if self.session and not browser_level:
            message["sessionId"] = self.session
        os.write(self.cmd_w, json.dumps(message).encode() + b"\0")
        deadline = time.time() + TIMEOUT
        while True:
            reply = self._read_message(deadline)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply.get("result", {})
            if "method" in reply:
                self.events.append(reply)

    def wait_for(self, method):
        deadline = time.time() + TIMEOUT
        while True:
            for k, e in enumerate(self.events):
                if e["method"] == method:
                    del self.events[k]
                    return e
            reply = self._read_message(deadline)
            if "method" in reply:
                self.events.append(reply)

    def open_page(self, url, width, height):
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Runtime", "Log", "Network", "Page"):
            self.call(domain + ".enable")
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})
        self.events = []
        self.call("Page.navigate", {"url": url})
        self.wait_for("Page.loadEventFired")

    def evaluate(self, expression, wait=False):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": wait})
        if "exceptionDetails" in result:
            raise RuntimeError("page script failed: %s" % result["exceptionDetails"])
        return result["result"].get("value")

    def problems(self):
        """Errors the page raised and requests that left the file."""
        found = []
        for e in self.events:
            m, p = e["method"], e.get("params", {})
            if m == "Runtime.exceptionThrown":
                found.append("exception: %s" % p["exceptionDetails"].get("exception", {}).get("description"))
            elif m == "Runtime.consoleAPICalled" and p.get("type") in ("error", "assert", "warning"):
                found.append("console %s: %s" % (p["type"], [a.get("value") for a in p.get("args", [])]))
            elif m == "Log.entryAdded" and p["entry"]["level"] in ("error", "warning"):
                found.append("log %s: %s" % (p["entry"]["level"], p["entry"]["text"]))
            elif m == "Network.requestWillBeSent":
                url = p["request"]["url"]
                # blob: is the download link's copy of the table, in memory.
                if not url.startswith(("file:", "data:", "about:", "blob:")):
                    found.append("request: " + url)
        return found


def png_colours(png):
    """The distinct RGB colours of an 8-bit RGB or RGBA PNG."""
    assert png[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, idat, width = 8, b"", 0
    while at < len(png):
        length, kind = struct.unpack(">I4s", png[at:at + 8])
        data = png[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", data[:10])
            assert depth == 8 and colour in (2, 6), "unexpected PNG format %d/%d" % (depth, colour)
            step = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += data
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = width * step
    previous = bytearray(stride)
    colours = set()
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, row = line[0], bytearray(line[1:])
        for x in range(stride):
            a = row[x - step] if x >= step else 0
            b = previous[x]
            c = previous[x - step] if x >= step else 0
            if kind == 1:
                row[x] = (row[x] + a) & 255
            elif kind == 2:
                row[x] = (row[x] + b) & 255
            elif kind == 3:
                row[x] = (row[x] + (a + b) // 2) & 255
            elif kind == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                row[x] = (row[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        for x in range(0, stride, step):
            colours.add(bytes(row[x:x + 3]))
        previous = row
    return colours


# Runs in the page: the table as shown, then after clicks on the P-value
# header and a filter.
PAGE_CHECK = r"""(() => {
  const table = document.getElementById("results");
  const heads = Array.from(table.tHead.rows[0].cells, th => th.textContent);
  const p = heads.indexOf("P-value"), name = heads.indexOf("Gene-set");
  const cells = col => Array.from(table.tBodies[0].rows, r => r.cells[col].textContent);
  const head = table.tHead.rows[0].cells[p];
  const out = {heads: heads, rows: table.tBodies[0].rows.length, lines: Array.from(table.tBodies[0].rows,
               r => Array.from(r.cells, c => c.textContent).join("\t"))};
  head.click();
  out.p_ascending = cells(p);
  out.sort_state = head.getAttribute("aria-sort");
  head.click();
  out.p_descending = cells(p);
  const filter = document.getElementById("filter");
  filter.value = FILTER;
  filter.dispatchEvent(new Event("input"));
  out.filtered = cells(name);
  filter.value = "";
  filter.dispatchEvent(new Event("input"));
  out.rows_after = table.tBodies[0].rows.length;
  out.overview_points = document.querySelectorAll("#overview svg title").length;
  out.panels = Array.from(document.querySelectorAll("section.panel")).filter(e => e.offsetParent !== null).length;
  out.panel_gene_rows = Array.from(document.querySelectorAll("section.panel table.genes"), t => t.tBodies[0].rows.length);
  out.panel_plots = Array.from(document.querySelectorAll("section.panel"), e => e.querySelectorAll("svg").length);
  out.hijacked = window.hijacked === true;
  return out;
})()"""

# With --lists: the heatmap's pixels at every cell (the shade at its top
# left, the mark at its centre), then a click on the cell of the first set
# in the last ranking shown.
HEAT_CHECK = r"""(() => {
  const h = JSON.parse(document.getElementById("heat-data").textContent);
  const canvas = document.querySelector("#heat canvas");
  const d = canvas.dataset, left = +d.left, top = +d.top, cw = +d.cw, ch = +d.ch;
  const pixels = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
  const at = (x, y) => Array.from(pixels.slice((y * canvas.width + x) * 4, (y * canvas.width + x) * 4 + 3));
  const out = {sets: h.sets.length, rankings: h.rankings, cells: h.cells, shade: [], centre: []};
  h.cells.forEach((k, c) => {
    const x = left + (c % h.rankings) * cw, y = top + Math.floor(c / h.rankings) * ch;
    out.shade.push(at(x, y + 1));
    out.centre.push(at(x + Math.floor((cw - (cw > 4 ? 1 : 0)) / 2), y + 6));
  });
  const c = h.cells.findIndex((k, i) => k >= 0 && i % h.rankings === h.rankings - 1);
  const box = canvas.getBoundingClientRect();
  canvas.dispatchEvent(new MouseEvent("click", {bubbles: true,
    clientX: box.left + left + (c % h.rankings) * cw + 1, clientY: box.top + top + Math.floor(c / h.rankings) * ch + 2}));
  out.clicked_ranking = c % h.rankings;
  out.shown_ranking = window.quorinShown.ranking();
  out.rows = document.getElementById("results").tBodies[0].rows.length;
  out.visible_groups = Array.from(document.querySelectorAll(".ranking-panels")).filter(d => !d.hidden)
                         .map(d => Number(d.getAttribute("data-ranking")));
  return out;
})()"""


def expected_shade(value, top):
    """The heatmap's colour of an estimate, as the page makes it."""
    t = round(min(1, abs(value) / top) * 32) / 32 if top > 0 else 0
    end = (213, 94, 0) if value >= 0 else (0, 114, 178)
    return [255 + (c - 255) * t for c in end]


def heat_faults(heat, table_lines):
    """Cells whose pixels do not show their record: its shade, untested
    grey, the mark where FDR < 0.05."""
    head = table_lines[0].split("\t")
    rows = [line.split("\t") for line in table_lines[1:]]
    est, fdr = head.index("Estimate"), head.index("FDR")
    top = max([abs(float(rows[k][est])) for k in heat["cells"] if k >= 0] + [0])
    faults = []
    for c, k in enumerate(heat["cells"]):
        want = [228] * 3 if k < 0 else expected_shade(float(rows[k][est]), top)
        if any(abs(a - b) > 1 for a, b in zip(heat["shade"][c], want)):
            faults.append("cell %d: %s, not %s" % (c, heat["shade"][c], want))
        marked = max(heat["centre"][c]) < 90
        if marked != (k >= 0 and float(rows[k][fdr]) < 0.05):
            faults.append("cell %d: marked %s, FDR %s" % (c, marked, rows[k][fdr] if k >= 0 else "untested"))
    return faults


def number(text):
    return {"inf": float("inf"), "-inf": float("-inf")}.get(text, float(text))


def clip_shot(browser, selector, path):
    """A screenshot of one element of the page, for the README."""
    box = browser.evaluate('(() => { const r = document.querySelector(%s).getBoundingClientRect(); '
                           'return [r.left + scrollX, r.top + scrollY, r.width, r.height]; })()' % json.dumps(selector))
    shot = browser.call("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True, "clip": {
        "x": box[0], "y": box[1], "width": box[2], "height": box[3], "scale": 1}})
    with open(path, "wb") as f:
        f.write(base64.b64decode(shot["data"]))


def downloaded(browser, folder):
    """Clicks "Download TSV" and returns the bytes saved."""
    browser.call("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": folder, "eventsEnabled": True},
                 browser_level=True)
    name = browser.evaluate('document.getElementById("download").download')
    browser.evaluate('document.getElementById("download").click()')
    while True:
        state = browser.wait_for("Browser.downloadProgress")["params"]["state"]
        if state != "inProgress":
            break
    with open(os.path.join(folder, name), "rb") as f:
        return f.read() if state == "completed" else b"download " + state.encode()


def check_report(browser, quorin, args, work, filter_text, errors, screenshot=None, lists=0, limits=None):
    """Runs quorin with --report in the folder work, opens the page, compares
    it with the table. The program is named plain "quorin" on the command
    line the page shows, and the run date is fixed. lists: the number of
    rankings of a --lists run. limits: (bytes, seconds) the page must keep to."""
    label = " ".join(os.path.basename(a) for a in args)
    report = os.path.join(work, "report.html")
    env = dict(os.environ, SOURCE_DATE_EPOCH="1767225600")
    run = subprocess.run(["quorin"] + args + ["--report=report.html"], executable=quorin, cwd=work, env=env,
                         capture_output=True, timeout=600)
    if run.returncode != 0:
        errors.append("%s: quorin failed: %s" % (label, run.stdout[-500:] + run.stderr[-500:]))
        return
    fail = lambda what: errors.append("%s: %s" % (label, what))
    table_lines = run.stdout.decode("utf-8", "replace").split("\n")[:-1]
    header_cells = table_lines[0].split("\t")
    lines = [line.split("\t") for line in table_lines[1:]]
    if lists:  # the page opens on the first ranking
        lines = [line for line in lines if line[0] == lines[0][0]]
    pc, nc = header_cells.index("P-value"), header_cells.index("Gene-set")
    names = [line[nc] for line in lines]
    p_values = [number(line[pc]) for line in lines]
    significant = sum(1 for line in lines if float(line[-1]) < 0.05)

    # The time to draw is the faster of two loads: the machine is shared.
    ready_ms = float("inf")
    for attempt in range(2 if limits else 1):
        browser.open_page("file://" + report, 1100, 1400)
        ready_ms = min(ready_ms, browser.evaluate("window.quorinReady.then(() => performance.now())", wait=True))
    size = os.path.getsize(report)
    if limits and (size > limits[0] or ready_ms > limits[1] * 1000):
        fail("page of %d bytes drawn in %.0f ms, more than %d bytes or %g s" % (size, ready_ms, limits[0], limits[1]))
    # The page as it opens, before the clicks below.
    shot = base64.b64decode(browser.call("Page.captureScreenshot", {"format": "png"})["data"])
    header = browser.evaluate('document.querySelector("table.run").textContent')
    for piece in ("quorin " + " ".join(args[:2]), "2026-01-01 00:00:00 UTC"):
        if piece not in header:
            fail("the header lacks %r" % piece)
    seen = browser.evaluate(PAGE_CHECK.replace("FILTER", json.dumps(filter_text)))
    if seen["heads"] != header_cells:
        fail("the page's columns %s are not the table's %s" % (seen["heads"], header_cells))
    if seen["lines"] != ["\t".join(line) for line in lines]:
        fail("the page's rows differ from the table's: %s" % [(a, "\t".join(b)) for a, b in zip(seen["lines"], lines)
                                                              if a != "\t".join(b)][:2])
    if seen["rows"] != len(lines) or seen["rows_after"] != len(lines):
        fail("table has %d rows (%d after filtering back), the result table %d"
             % (seen["rows"], seen["rows_after"], len(lines)))
    shown_p = [number(t) for t in seen["p_ascending"]]
    if not shown_p or shown_p[0] != min(p_values) or shown_p != sorted(shown_p):
        fail("sorting by P-value does not put the smallest first: %s, smallest %g" % (seen["p_ascending"][:3], min(p_values)))
    if seen["sort_state"] != "ascending":
        fail("P-value header says %s after one click" % seen["sort_state"])
    if [number(t) for t in seen["p_descending"]] != sorted(p_values, reverse=True):
        fail("a second click does not sort by descending P-value")
    want = [n for n in names if filter_text.lower() in n.lower()]
    if sorted(seen["filtered"]) != sorted(want) or not want:
        fail("filter %r shows %d rows, expected %d" % (filter_text, len(seen["filtered"]), len(want)))
    if not lists and seen["overview_points"] != len(lines):
        fail("overview has %d points for %d sets" % (seen["overview_points"], len(lines)))
    if not lists and seen["panels"] != min(significant, 50):
        fail("%d panels for %d sets with FDR below 0.05" % (seen["panels"], significant))
    if any(n < 1 or n > 10 for n in seen["panel_gene_rows"]):
        fail("a panel lists %s genes" % seen["panel_gene_rows"])
    if any(n != 2 for n in seen["panel_plots"]):
        fail("panels with %s plots, not the scatter and the list" % seen["panel_plots"])
    if seen["hijacked"]:
        fail("a set name ran as script")
    if lists:
        heat = browser.evaluate(HEAT_CHECK)
        if len(heat["cells"]) != heat["sets"] * heat["rankings"] or heat["sets"] == 0:
            fail("heatmap of %d cells for %d sets x %d rankings" % (len(heat["cells"]), heat["sets"], heat["rankings"]))
        faults = heat_faults(heat, table_lines)
        if faults:
            fail("%d heatmap cells wrong: %s" % (len(faults), faults[:3]))
        ranking_name = browser.evaluate('document.getElementById("ranking-name").textContent')
        in_ranking = sum(1 for line in table_lines[1:] if line.split("\t")[0] == ranking_name)
        if heat["shown_ranking"] != heat["clicked_ranking"] or heat["rows"] != in_ranking or \
                heat["visible_groups"] != [heat["clicked_ranking"]]:
            fail("a click on a cell of ranking %d shows ranking %d with %d rows (%d in the table), panel groups %s"
                 % (heat["clicked_ranking"], heat["shown_ranking"], heat["rows"], in_ranking, heat["visible_groups"]))
        print("%s: heatmap %d sets x %d rankings, page drawn in %.0f ms" % (label, heat["sets"], heat["rankings"], ready_ms))
    saved = downloaded(browser, work)
    if saved != run.stdout:
        fail("the downloaded TSV (%d bytes) is not the result table (%d bytes)" % (len(saved), len(run.stdout)))

    colours = png_colours(shot)
    if len(colours) < 50:
        fail("the screenshot has only %d colours" % len(colours))
    # The two direction colours of significant sets, as filled points.
    for rgb, what in ((b"\xd5\x5e\x00", "vermillion"), (b"\x00\x72\xb2", "blue")):
        if significant and not lists and rgb not in colours:
            fail("no %s point in the screenshot" % what)
    if screenshot:
        with open(screenshot, "wb") as f:
            f.write(shot)
        if browser.evaluate('document.querySelector("section.panel .panel-body") !== null'):
            browser.evaluate('document.querySelectorAll(".ranking-panels").forEach(d => d.hidden = '
                             'd.querySelector("section.panel") === null)')
            clip_shot(browser, "section.panel:not([hidden]) .panel-body",
                      screenshot.replace(".png", "_panel.png"))
    pdf = base64.b64decode(browser.call("Page.printToPDF", {})["data"])
    if not pdf.startswith(b"%PDF") or len(pdf) < 5000:
        fail("printing gave %d bytes" % len(pdf))
    for problem in browser.problems():
        fail(problem)
    print("%s: %d rows, %d panels, %d colours, %d-byte report" %
          (label, seen["rows"], seen["panels"], len(colours), size))


def write_rankings(work, examples, rankings, sets, tag):
    """A matrix of rankings from the examples' list: the list itself, then
    noisy copies and copies turned round, and a gene-set file of the first
    `sets` sets of the examples with more made by relabelling them."""
    genes = [line.split("\t")[:2] for line in open(os.path.join(examples, "gene_list.txt")) if line.strip()]
    rng = __import__("random").Random(7)
    matrix = os.path.join(work, "rankings_%s.txt" % tag)
    with open(matrix, "w") as f:
        f.write("gene\t" + "\t".join("r%03d_%s" % (k, "turned" if k % 3 == 1 else "kept") for k in range(rankings)) + "\n")
        for gene, score in genes:
            v = float(score)
            row = []
            for k in range(rankings):
                sign = -1 if k % 3 == 1 else 1
                row.append("NA" if k % 5 == 4 and rng.random() < 0.1 else "%.4g" % (sign * v + rng.gauss(0, 0.3 + 0.1 * (k % 7))))
            f.write(gene + "\t" + "\t".join(row) + "\n")
    records = [line for line in open(os.path.join(examples, "gene_sets.bed")) if line.strip()]
    out = os.path.join(work, "rank_sets_%s.bed" % tag)
    with open(out, "w") as f:
        order = {}
        for line in records:
            order.setdefault(line.split("\t")[3].split("; ")[0], len(order))
        copies = max(1, (sets + len(order) - 1) // len(order))
        for c in range(copies):
            for line in records:
                fields = line.split("\t")
                name, rest = fields[3].split("; ", 1)
                if c * len(order) + order[name] >= sets:
                    continue
                fields[3] = "%s_%d; %s" % (name, c, rest)
                f.write("\t".join(fields))
    return ["-s", os.path.basename(out), "--lists", os.path.basename(matrix)]  # quorin runs in work


def write_hostile(work):
    """A gene-set file whose set and gene names try to break out of the page."""
    names = ["</script><script>window.hijacked = true</script>", "<img src=x onerror=\"window.hijacked=true\">",
             "A&amp;B \"quoted\" 'single'", "<!-- comment", "caf\xe9 \u4e2d \u2028 sep"]
    sets, genes = os.path.join(work, "hostile.bed"), os.path.join(work, "hostile_list.txt")
    with open(sets, "w", encoding="utf-8") as s, open(genes, "w", encoding="utf-8") as g:
        for k in range(40):
            gene = "g%d</script><b>" % k
            g.write("%s\t%g\n" % (gene, (k - 20) * 0.5))
            for j, name in enumerate(names):
                score = 10 + (k if j % 2 == 0 else 40 - k) + (k * 7 % 5 if j > 1 else 0)
                s.write("c\t1\t2\t%s; x|%s|y\t%g\t.\n" % (name, gene, score))
    return ["-s", sets, "-i", genes]


def main():
    if len(sys.argv) < 4:
        sys.stderr.write(__doc__)
        return 2
    quorin, examples, real = (os.path.abspath(a) for a in sys.argv[1:4])
    screenshot = sys.argv[4] if len(sys.argv) > 4 else None
    lists_screenshot = sys.argv[5] if len(sys.argv) > 5 else None
    if not (os.environ.get("CHROMIUM") or shutil.which("chromium") or shutil.which("chromium-browser")):
        print("SKIP: chromium is not installed")
        return 77
    errors = []
    with tempfile.TemporaryDirectory() as work:
        browser = Browser(os.path.join(work, "profile"))
        try:
            # The examples by the names the README uses.
            os.mkdir(os.path.join(work, "examples"))
            for name in ("gene_sets.bed", "gene_list.txt"):
                shutil.copy(os.path.join(examples, name), os.path.join(work, "examples", name))
            cases = [(["-s", "examples/gene_sets.bed", "-i", "examples/gene_list.txt"], "pos_", screenshot, 0, None),
                     (write_hostile(work), "script", None, 0, None),
                     (["-s", "examples/gene_sets.bed", "-i", "examples/gene_list.txt", "--size", "--digits=3",
                       "--permutations=200", "--fdr=bh"], "neg_", None, 0, None),
                     (write_rankings(work, examples, 12, 30, "small"), "pos_", lists_screenshot, 12, None)]
            if os.path.exists(os.path.join(real, "real_gene_sets.bed")):
                cases.append((["-s", os.path.join(real, "real_gene_sets.bed"), "-i",
                               os.path.join(real, "real_gene_list.txt"), "-g", "-1000"], "progeny_m", None, 0, None))
            else:
                print("real data absent at %s: not rendered" % real)
            # The largest page the README promises: 200 rankings x 500 sets.
            cases.append((write_rankings(work, examples, 200, 500, "large") + ["-t", "2"], "bg_", None, 200, (5e6, 3)))
            for args, filter_text, shot, lists, limits in cases:
                check_report(browser, quorin, args, work, filter_text, errors, shot, lists, limits)
        finally:
            browser.close()
    for e in errors:
        print("FAIL: " + e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
