#!/usr/bin/env python3
"""Checks that the manual page's DIAGNOSTICS list every message the program
can print.

Usage: messages.py MAN_PAGE SRC_DIR

The messages are the string literals of src/**/*.cpp that begin with "Sorry",
"wrong", "invalid", "unknown" or "Error", or hold "couldn't", whatever
function they are handed to. Each literal is the fixed start of its message,
the text before the first value put into it: it must begin a tag of the
DIAGNOSTICS section (the line after .TP or .TQ), read as groff prints it. A
negative control removes the tag of each of a few messages and expects the
check to miss it.
"""
import glob
import os
import re
import shlex
import sys

LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"((?:\s*"(?:[^"\\\n]|\\.)*")*)')
ESCAPES = {"n": "\n", "t": "\t", '"': '"', "\\": "\\", "'": "'"}


def c_string(body):
    return re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(1)), body)


def messages(src_dir):
    """(file:line, fixed start) of every message literal; adjacent literals joined."""
    found = []
    for path in sorted(glob.glob(os.path.join(src_dir, "**", "*.cpp"), recursive=True)):
        # The library's edge has messages of its own for records handed over
        # in memory (the Python and R packages); the command never meets them.
        if os.path.relpath(path, src_dir).startswith("library" + os.sep):
            continue
        with open(path) as f:
            source = f.read()
        for m in LITERAL.finditer(source):
            text = c_string(m.group(1)) + "".join(c_string(b) for b in re.findall(r'"((?:[^"\\\n]|\\.)*)"',
                                                                                 m.group(2)))
            text = text.rstrip("\n")
            if re.match(r"(Sorry|wrong|invalid|unknown|Error)", text) or "couldn't" in text:
                where = "%s:%d" % (os.path.relpath(path, src_dir), source.count("\n", 0, m.start()) + 1)
                found.append((where, text))
    return found


def roff_text(line):
    """A tag line as groff prints it: the alternating-font macros join their
    arguments, .B and .I separate them by spaces; escapes resolved."""
    line = line.replace("\\-", "-").replace("\\%", "").replace("\\&", "").replace("\\e", "\\")
    line = re.sub(r"\\f(\[[^]]*\]|\(..|.)", "", line)
    if not line.startswith("."):
        return line
    macro, _, rest = line.partition(" ")
    try:
        words = shlex.split(rest)
    except ValueError:
        words = rest.split()
    return ("" if macro in (".BI", ".IB", ".BR", ".RB", ".IR", ".RI") else " ").join(words)


def diagnostic_tags(page_lines):
    tags, inside = [], False
    for i, line in enumerate(page_lines):
        if line.startswith(".SH"):
            inside = line.strip() == ".SH DIAGNOSTICS"
        elif inside and i > 0 and page_lines[i - 1].startswith((".TP", ".TQ")):
            tags.append(roff_text(line))
    return tags


def missing(found, page_lines):
    tags = diagnostic_tags(page_lines)
    return [(where, text) for where, text in found if not any(tag.startswith(text) for tag in tags)]


def main():
    man_path, src_dir = sys.argv[1:3]
    with open(man_path) as f:
        page = f.read().split("\n")
    found = messages(src_dir)
    errors = []
    # The extraction must see the messages, or every check passes.
    texts = {text for _, text in found}
    for known in ("Sorry, out of memory", "wrong line: ", "invalid option: ", "Sorry, couldn't open file "):
        if known not in texts:
            errors.append("the message %r was not found in %s" % (known, src_dir))
    for where, text in missing(found, page):
        errors.append("%s: %r is not in a DIAGNOSTICS tag of %s" % (where, text, man_path))

    # Negative controls: a message whose tag is removed is missed.
    for text in ("wrong line: ", "Sorry, couldn't read standard input: it is closed", "wrong file "):
        cut = [line for i, line in enumerate(page)
               if not (i > 0 and page[i - 1].startswith((".TP", ".TQ")) and roff_text(line).startswith(text))]
        if not any(t == text for _, t in missing(found, cut)):
            errors.append("negative control: %r still found after its tag was removed" % text)

    for e in errors:
        print("FAIL: " + e)
    print("%d message literals checked against %d tags" % (len(found), len(diagnostic_tags(page))))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
