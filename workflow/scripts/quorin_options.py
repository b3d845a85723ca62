"""The checks of the workflow's configuration values: the quorin options of
config.yaml, which must leave alone the options the workflow sets itself, and
the counts (shards, threads).

quorin reads its options with getopt_long, so the options are read here as it
reads them: long options by any unambiguous prefix, their values after "=" or
in the next word, short options bundled ("-po x") with a value attached
("-ofoo") or in the next word, words that are not options skipped, "--" ending
the options. SHORT and LONG are quorin's option table (src/config/options.cpp;
a test keeps the two the same).
"""
import shlex

SHORT = "hs:i:g:r:w:pt:o:d:"
# long name: (takes a value, the short option it stands for, or None)
LONG = {
    "help": (False, "h"), "rank_set": (True, "s"), "rank_data": (True, "i"), "tscore": (True, "g"),
    "adj_method": (True, "r"), "wt_method": (True, "w"), "auto_p": (False, "p"), "thread": (True, "t"),
    "output": (True, "o"), "outdata": (True, "d"), "version": (False, None), "verbose": (False, None),
    "fdr": (True, None), "min-size": (True, None), "max-size": (True, None), "size": (False, None),
    "digits": (True, None), "permutations": (True, None), "exceed": (True, None), "seed": (True, None),
    "report": (True, None), "lists": (True, None), "progress": (False, None), "quiet": (False, None),
    "strict": (False, None), "net": (True, None), "genes": (True, None), "strip-versions": (False, None),
    "null": (True, None),
}
# What each shard's run sets: its input files, its output, and nothing else
# written beside it.
WORKFLOW_SETS = {"s", "i", "o", "d", "lists", "report", "net", "genes"}


def shown(option):
    """-o (--output), or --lists, for a message."""
    if len(option) == 1:
        long = [name for name, (_, short) in LONG.items() if short == option]
        return "-%s (--%s)" % (option, long[0]) if long else "-" + option
    return "--" + option


def long_option(word):
    """The long option a word names as getopt_long matches it (exactly, or as
    the one option it begins), or None for an unknown or ambiguous one."""
    name = word[2:].split("=", 1)[0]
    if name in LONG:
        return name
    matches = [n for n in LONG if n.startswith(name)]
    return matches[0] if len(matches) == 1 else None


def workflow_option_in(options):
    """Why the options may not be passed to each shard's run, or None: one of
    them is set by the workflow, "--" would hide the workflow's own options
    after it, or a last option would take the workflow's next word as its
    value."""
    words = shlex.split(options)
    k = 0
    while k < len(words):
        word = words[k]
        k += 1
        if word == "--":
            return "-- would end quorin's options before the workflow's own"
        if word.startswith("--"):
            name = long_option(word)
            if name is None:
                continue  # quorin refuses it itself
            if name in WORKFLOW_SETS or (LONG[name][1] or "") in WORKFLOW_SETS:
                return "%s (given as %s) is set by the workflow itself" % (shown(LONG[name][1] or name), word)
            if LONG[name][0] and "=" not in word:
                if k == len(words):
                    return "%s needs a value" % word
                k += 1
            continue
        if not word.startswith("-") or word == "-":
            continue  # a word that is not an option
        for at in range(1, len(word)):
            letter = word[at]
            place = SHORT.find(letter)
            if place < 0 or letter == ":":
                break  # quorin refuses it itself
            if letter in WORKFLOW_SETS:
                return "%s (given as %s) is set by the workflow itself" % (shown(letter), word)
            if SHORT[place + 1:place + 2] == ":":
                if at + 1 == len(word):
                    if k == len(words):
                        return "-%s needs a value" % letter
                    k += 1
                break
    return None


def whole_number(key, value):
    """A count of the configuration (shards, threads) as a number from 1 on;
    ValueError with the message otherwise."""
    text = str(value).strip()
    if isinstance(value, bool) or not text.isdigit() or int(text) < 1:
        raise ValueError("%s must be a whole number from 1 on, not %r" % (key, value))
    return int(text)
