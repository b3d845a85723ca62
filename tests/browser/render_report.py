#!/usr/bin/env python3
"""Opens quorin's HTML report in headless chromium and checks what a reader
would see: no script or console error, no request leaving the file, a table
with one row per tested set, sorting by P-value putting the smallest first,
filtering by name, the panels, a page that prints, and a screenshot that is
not blank.

Chromium is driven through its DevTools protocol over a pipe
(--remote-debugging-pipe: commands on fd 3, replies on fd 4, each message
JSON ended by a NUL byte), with nothing but Python's standard library.

usage: render_report.py QUORIN EXAMPLES_DIR REAL_DATA_DIR [SCREENSHOT.png]
Exit status 77 (skipped) when chromium is not installed. The real data is
skipped when absent. With SCREENSHOT.png, the examples' screenshot is kept.
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

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True})
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
                if not url.startswith(("file:", "data:", "about:")):
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
  const cells = col => Array.from(table.tBodies[0].rows, r => r.cells[col].textContent);
  const head = Array.from(table.tHead.rows[0].cells).find(th => th.textContent === "P-value");
  const out = {rows: table.tBodies[0].rows.length, names: cells(0)};
  head.click();
  out.p_ascending = cells(5);
  out.sort_state = head.getAttribute("aria-sort");
  head.click();
  out.p_descending = cells(5);
  const filter = document.getElementById("filter");
  filter.value = FILTER;
  filter.dispatchEvent(new Event("input"));
  out.filtered = cells(0);
  filter.value = "";
  filter.dispatchEvent(new Event("input"));
  out.rows_after = table.tBodies[0].rows.length;
  out.overview_points = document.querySelectorAll("#overview svg title").length;
  out.panels = document.querySelectorAll("section.panel").length;
  out.panel_gene_rows = Array.from(document.querySelectorAll("section.panel table.genes"), t => t.tBodies[0].rows.length);
  out.hijacked = window.hijacked === true;
  return out;
})()"""


def number(text):
    return {"inf": float("inf"), "-inf": float("-inf")}.get(text, float(text))


def check_report(browser, quorin, args, work, filter_text, errors, screenshot=None):
    """Runs quorin with --report in the folder work, opens the page, compares
    it with the table. The program is named plain "quorin" on the command
    line the page shows, and the run date is fixed."""
    label = " ".join(os.path.basename(a) for a in args)
    report = os.path.join(work, "report.html")
    env = dict(os.environ, SOURCE_DATE_EPOCH="1767225600")
    run = subprocess.run(["quorin"] + args + ["--report=report.html"], executable=quorin, cwd=work, env=env,
                         capture_output=True, timeout=300)
    if run.returncode != 0:
        errors.append("%s: quorin failed: %s" % (label, run.stdout[-500:] + run.stderr[-500:]))
        return
    lines = [line.split(b"\t") for line in run.stdout.splitlines()[1:]]
    names = [line[0].decode("utf-8", "replace") for line in lines]
    p_values = [number(line[5].decode()) for line in lines]
    significant = sum(1 for line in lines if float(line[6]) < 0.05)

    browser.open_page("file://" + report, 1100, 1400)
    fail = lambda what: errors.append("%s: %s" % (label, what))
    # The page as it opens, before the clicks below.
    shot = base64.b64decode(browser.call("Page.captureScreenshot", {"format": "png"})["data"])
    header = browser.evaluate('document.querySelector("table.run").textContent')
    for piece in ("quorin " + " ".join(args[:2]), "2026-01-01 00:00:00 UTC", "%d sets tested" % len(lines)):
        if piece not in header:
            fail("the header lacks %r" % piece)
    seen = browser.evaluate(PAGE_CHECK.replace("FILTER", json.dumps(filter_text)))
    if seen["rows"] != len(lines) or seen["rows_after"] != len(lines):
        fail("table has %d rows (%d after filtering back), the result table %d"
             % (seen["rows"], seen["rows_after"], len(lines)))
    if seen["names"] != names:
        fail("names in the page differ from the table: %s" % [(a, b) for a, b in zip(seen["names"], names) if a != b][:3])
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
    if seen["overview_points"] != len(lines):
        fail("overview has %d points for %d sets" % (seen["overview_points"], len(lines)))
    if seen["panels"] != min(significant, 50):
        fail("%d panels for %d sets with FDR below 0.05" % (seen["panels"], significant))
    if any(n < 1 or n > 10 for n in seen["panel_gene_rows"]):
        fail("a panel lists %s genes" % seen["panel_gene_rows"])
    if seen["hijacked"]:
        fail("a set name ran as script")

    colours = png_colours(shot)
    if len(colours) < 50:
        fail("the screenshot has only %d colours" % len(colours))
    # The two direction colours of significant sets, as filled points.
    for rgb, what in ((b"\xd5\x5e\x00", "vermillion"), (b"\x00\x72\xb2", "blue")):
        if significant and rgb not in colours:
            fail("no %s point in the screenshot" % what)
    if screenshot:
        with open(screenshot, "wb") as f:
            f.write(shot)
    pdf = base64.b64decode(browser.call("Page.printToPDF", {})["data"])
    if not pdf.startswith(b"%PDF") or len(pdf) < 5000:
        fail("printing gave %d bytes" % len(pdf))
    for problem in browser.problems():
        fail(problem)
    print("%s: %d rows, %d panels, %d colours, %d-byte report" %
          (label, seen["rows"], seen["panels"], len(colours), os.path.getsize(report)))


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
            cases = [(["-s", "examples/gene_sets.bed", "-i", "examples/gene_list.txt"], "pos_", screenshot),
                     (write_hostile(work), "script", None)]
            if os.path.exists(os.path.join(real, "real_gene_sets.bed")):
                cases.append((["-s", os.path.join(real, "real_gene_sets.bed"), "-i",
                               os.path.join(real, "real_gene_list.txt"), "-g", "-1000"], "progeny_m", None))
            else:
                print("real data absent at %s: not rendered" % real)
            for args, filter_text, shot in cases:
                check_report(browser, quorin, args, work, filter_text, errors, shot)
        finally:
            browser.close()
    for e in errors:
        print("FAIL: " + e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
