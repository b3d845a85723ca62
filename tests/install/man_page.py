#!/usr/bin/env python3
"""Checks that the manual page documents every option of the option table and
every output column, and that groff renders it without a warning.

Usage: man_page.py MAN_PAGE OPTIONS_CPP RESULTS_DIR

An option counts as documented when it stands in the tag of a tagged paragraph
(the line after .TP or .TQ), not merely somewhere in the text. The options are
read from the long_options[] table and the short-option string of the
getopt_long call; the column names from the string literals of the table and
detail writers. Each check is also run on a copy of the page with the option's
tag removed, where it must fail: so --size is not found in --min-size's tag.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile


def plain(roff):
    """A line of roff as text: font changes, escapes and the macro name removed."""
    text = re.sub(r"\\f(\[[^]]*\]|\(..|.)", "", roff)
    text = text.replace("\\-", "-").replace("\\%", "").replace("\\&", "").replace("\\ ", " ")
    text = re.sub(r"^\.[A-Z]+\s*", "", text)
    return text.replace('"', "")


def tags(page_lines):
    """The texts of all paragraph tags: the line after each .TP and .TQ."""
    found = []
    for i, line in enumerate(page_lines[:-1]):
        if line.startswith((".TP", ".TQ")):
            found.append(plain(page_lines[i + 1]))
    return found


def has_long(tag_texts, name):
    return any(re.search(r"(?<![\w-])--" + re.escape(name) + r"(?![\w-])", t) for t in tag_texts)


def has_short(tag_texts, letter):
    return any(re.search(r"(?<![\w-])-" + re.escape(letter) + r"(?![\w-])", t) for t in tag_texts)


def has_column(tag_texts, name):
    return any(t.strip() == name for t in tag_texts)


def options(source):
    table = re.search(r"long_options\[\]\s*=\s*\{(.*?)\n\};", source, re.S)
    longs = re.findall(r'\{\s*"([^"]+)"', table.group(1)) if table else []
    short = re.search(r'getopt_long\s*\([^"]*"([^"]*)"', source)
    shorts = [c for c in short.group(1) if c != ":"] if short else []
    return longs, shorts


def columns(results_dir):
    names = set()
    for file in sorted(os.listdir(results_dir)):
        if file.endswith(".cpp"):
            with open(os.path.join(results_dir, file)) as f:
                for literal in re.findall(r'"((?:[^"\\]|\\.)*)"', f.read()):
                    if "\\t" in literal:
                        names.update(w for w in literal.split("\\t") if re.fullmatch(r"[A-Z][A-Za-z_-]*", w))
    return sorted(names)


def without_tags(page_lines, matches):
    """The page with every tagged paragraph whose tag satisfies matches() cut to an untagged one."""
    out = []
    for i, line in enumerate(page_lines):
        if i > 0 and page_lines[i - 1].startswith((".TP", ".TQ")) and matches(plain(line)):
            out[-1] = ".PP"
            continue
        out.append(line)
    return out


def groff_warnings(path):
    run = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z", path], capture_output=True, text=True)
    return run.returncode, run.stderr


def main():
    man_path, options_path, results_dir = sys.argv[1:4]
    with open(man_path) as f:
        page = f.read().split("\n")
    with open(options_path) as f:
        longs, shorts = options(f.read())
    errors = []
    # The parsers must find the table they read, or every check below passes.
    if len(longs) < 10 or "rank_set" not in longs or len(shorts) < 10 or "s" not in shorts:
        errors.append("could not read the option table of %s: %s %s" % (options_path, longs, shorts))
    cols = columns(results_dir)
    if len(cols) < 10 or "Gene-set" not in cols or "Weights" not in cols:
        errors.append("could not read the column names in %s: %s" % (results_dir, cols))

    tag_texts = tags(page)
    for name in longs:
        if not has_long(tag_texts, name):
            errors.append("option --%s is not documented in a tag of %s" % (name, man_path))
    for letter in shorts:
        if not has_short(tag_texts, letter):
            errors.append("option -%s is not documented in a tag of %s" % (letter, man_path))
    for name in cols:
        if not has_column(tag_texts, name):
            errors.append("column %s is not documented in a tag of %s" % (name, man_path))
    sections = [plain(line) for line in page if line.startswith(".SH")]
    for section in ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "INPUT FILES", "OUTPUT", "EXIT STATUS"]:
        if section not in sections:
            errors.append("section %s is missing" % section)

    # Negative controls: every option the page documents, its tag removed.
    documented = sorted(set(re.findall(r"(?<![\w-])--([a-z][\w-]*)", " ".join(tag_texts))))
    for name in documented:
        if has_long(tags(without_tags(page, lambda t: has_long([t], name))), name):
            errors.append("negative control: --%s still found after its tag was removed" % name)
    for letter in shorts:
        if has_short(tags(without_tags(page, lambda t: has_short([t], letter))), letter):
            errors.append("negative control: -%s still found after its tag was removed" % letter)

    if shutil.which("groff"):
        status, warnings = groff_warnings(man_path)
        if status != 0 or warnings:
            errors.append("groff renders %s with status %d and warnings:\n%s" % (man_path, status, warnings))
        # The same check must see a fault: an undefined macro.
        with tempfile.TemporaryDirectory() as work:
            broken = os.path.join(work, "broken.1")
            with open(broken, "w") as f:
                f.write("\n".join(page) + "\n.NOSUCHMACRO\n")
            status, warnings = groff_warnings(broken)
            if not warnings:
                errors.append("negative control: groff gave no warning for an undefined macro")
    else:
        print("groff not found: rendering not checked")

    for e in errors:
        print("FAIL: " + e)
    print("%d long options, %d short options, %d columns checked" % (len(longs), len(shorts), len(cols)))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
