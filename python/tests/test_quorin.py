"""The package against the command: the same inputs give the same numbers,
and bad input fails with the command's message or one naming the column."""

import os
import signal
import subprocess
import sys
import time
from pathlib import Path

import numpy as np
import pandas as pd
import pytest

import quorin

SOURCE = Path(os.environ.get("QUORIN_SOURCE", Path(__file__).resolve().parents[2]))
COMMAND = os.environ.get("QUORIN_COMMAND", str(SOURCE / "build-py" / "quorin"))
REAL = Path(os.environ.get("QUORIN_REAL_DATA", SOURCE.parent / "shared" / "data" / "real"))
DATA = {
    "examples": (SOURCE / "examples" / "gene_sets.bed", SOURCE / "examples" / "gene_list.txt"),
    "real": (REAL / "real_gene_sets.bed", REAL / "real_gene_list.txt"),
}


def sets_frame(bed):
    """A gene-set file as a decoupler-style table: source, target, weight."""
    rows = [line.split("\t") for line in Path(bed).read_text().splitlines() if line and line[0] != "#"]
    return pd.DataFrame({"source": [r[3].split("; ")[0] for r in rows],
                         "target": [r[3].split("; ", 1)[1].split("|")[1] for r in rows],
                         "weight": [float(r[4]) for r in rows]})


def list_series(path):
    rows = [line.split("\t") for line in Path(path).read_text().splitlines()]
    return pd.Series([float(r[1]) for r in rows], index=[r[0] for r in rows])


def rankings_frame(path):
    """Three rankings: the list, its scores reversed with every fifth gene left out, and half of it."""
    s = list_series(path)
    second = -s.copy()
    second.iloc[::5] = np.nan
    third = s.copy()
    third.iloc[1::2] = np.nan
    return pd.DataFrame({"list": s, "reversed": second, "half": third})


def command(args):
    """The command's table with --digits=17 and --size, as rows of fields."""
    out = subprocess.run([COMMAND, *args, "--digits=17", "--size"], capture_output=True, text=True, check=True)
    lines = out.stdout.splitlines()
    return lines[0].split("\t"), [line.split("\t") for line in lines[1:]]


# name, data, ranking form (file, series, matrix, matrix_file), sets form (file, frame), command args, keywords
CASES = [
    ("defaults", "examples", "file", "file", [], {}),
    ("auto_p", "examples", "series", "frame", ["-p"], {"auto_p": True}),
    ("real", "real", "series", "frame", ["-g", "-1000", "-t", "2"], {"tscore": -1000, "threads": 2}),
    ("real_p", "real", "file", "file", ["-g", "-1000", "-p"], {"tscore": -1000, "auto_p": True}),
    ("w2", "real", "series", "frame", ["-g", "-1000", "-w", "2"], {"tscore": -1000, "weights": "2"}),
    ("w3_r", "real", "file", "frame", ["-g", "-1000", "-w", "3", "-r", "21"],
     {"tscore": -1000, "weights": "3", "adjust": "21"}),
    ("r32", "examples", "series", "file", ["-r", "32"], {"adjust": "32"}),
    ("bh_min", "real", "series", "frame", ["-g", "-1000", "--fdr=bh", "--min-size=40", "--max-size=80"],
     {"tscore": -1000, "fdr": "bh", "min_size": 40, "max_size": 80}),
    ("permutations", "real", "series", "frame", ["--permutations=2000", "--seed=7"],
     {"permutations": 2000, "seed": 7}),
    ("permutations_p", "examples", "file", "file", ["--permutations=300", "--exceed=5", "-p", "-t", "2"],
     {"permutations": 300, "exceed": 5, "auto_p": True, "threads": 2}),
    ("moments_p", "real", "series", "frame", ["-g", "-1000", "-p", "--null=moments"],
     {"tscore": -1000, "auto_p": True, "null": "moments"}),
    ("matrix", "real", "matrix", "frame", ["-g", "-1000", "-p"], {"tscore": -1000, "auto_p": True}),
    ("matrix_file", "examples", "matrix_file", "file", ["--fdr=bh"], {"fdr": "bh"}),
]


@pytest.mark.parametrize("name,data,ranking_form,sets_form,args,keywords", CASES, ids=[c[0] for c in CASES])
def test_same_as_command(tmp_path, name, data, ranking_form, sets_form, args, keywords):
    bed, gene_list = DATA[data]
    if not bed.exists():
        pytest.skip(f"no {bed} (QUORIN_REAL_DATA names its folder)")
    sets = sets_frame(bed) if sets_form == "frame" else bed
    if ranking_form.startswith("matrix"):
        frame = rankings_frame(gene_list)
        matrix = tmp_path / "matrix.tsv"
        frame.to_csv(matrix, sep="\t", index_label="gene", na_rep="NA", float_format="%.17g")
        list_args = ["--lists", str(matrix)]
        ranking = frame if ranking_form == "matrix" else matrix
    else:
        list_args = ["-i", str(gene_list)]
        ranking = list_series(gene_list) if ranking_form == "series" else str(gene_list)
    detail_file = tmp_path / "detail.tsv"
    header, rows = command(["-s", str(bed), *list_args, "-d", str(detail_file), *args])
    table, detail = quorin.analyse(sets, ranking, matrix=ranking_form == "matrix_file", detail=True, **keywords)

    expected = [c for c in header if c != "Permutations"] + (["Permutations", "Exact"] if "Permutations" in header else [])
    assert sorted(table.columns) == sorted(expected)
    assert len(table) == len(rows) > 0
    for k, column in enumerate(header):
        got = table[column].tolist()
        want = [row[k] for row in rows]
        if column in ("List", "Gene-set", "Cor_dir"):
            assert got == want, column
        elif column == "Size":
            assert got == [int(v) for v in want]
        elif column == "Permutations":
            assert table["Exact"].tolist() == [v == "exact" for v in want]
            assert [g for g, w in zip(got, want) if w != "exact"] == [int(w) for w in want if w != "exact"]
        else:
            assert got == [float(v) for v in want], column  # the exact doubles
    # The detail file holds the sets of FDR below 0.05, in the same order.
    blocks = [b for b in detail_file.read_text().split("//\n\n") if b]
    keys = ["List", "Gene-set"] if "List" in table else ["Gene-set"]
    significant = table[table["FDR"] < 0.05]
    assert len(blocks) == len(significant)
    for block, (_, record) in zip(blocks, significant.iterrows()):
        part = detail.loc[(detail[keys] == record[keys]).all(axis=1)]
        lines = [line.split("\t") for line in block.splitlines()[2:]]
        assert part["Gene"].tolist() == [f[0] for f in lines]
        for k, column in enumerate(["Vec_x", "Vec_y", "Rank_x", "Rank_y", "Weights"], start=1):
            assert part[column].tolist() == [float(f[k]) for f in lines], column
    assert detail.groupby(keys, sort=False).size().tolist() == table["Size"].tolist()


def test_version():
    out = subprocess.run([COMMAND, "--version"], capture_output=True, text=True).stdout
    assert out.strip() == "quorin " + quorin.__version__


def fails(message, sets, ranking, **keywords):
    with pytest.raises(ValueError) as e:
        quorin.analyse(sets, ranking, **keywords)
    assert str(e.value) == message


SETS = pd.DataFrame({"Source": ["S", "S", "S"], "Target": ["a", "b", "c"], "Weight": [30.0, 20.0, 10.0]})
LIST = pd.Series([3.0, 2.0, 1.0], index=["a", "b", "c"])


def test_columns_by_keyword():
    renamed = SETS.set_axis(["a", "b", "c"], axis=1)
    expected = quorin.analyse(SETS, LIST, permutations=10)
    pd.testing.assert_frame_equal(quorin.analyse(renamed, LIST, set_col="a", gene_col="b", score_col="c", permutations=10),
                                  expected)
    assert expected["Exact"].tolist() == [True] and expected["Permutations"].tolist() == [6]


def test_frame_errors():
    fails("wrong sets: no score column (score or weight); columns: Source, Target",
          SETS.drop(columns="Weight"), LIST)
    fails("wrong sets: column 'Weight' in row 2 (index 1) is NaN", SETS.assign(Weight=[30, np.nan, 10]), LIST)
    fails("wrong sets: column 'Weight' in row 3 (index 2) is 'x', not a number",
          SETS.assign(Weight=[30, 20, "x"]), LIST)
    fails("wrong sets: the data frame has no rows", SETS.iloc[:0], LIST)
    fails("wrong ranking: gene 'b' is given twice (rows 2 and 3)", SETS, LIST.set_axis(["a", "b", "b"]))
    fails("wrong rankings: gene 'a' is given twice (rows 1 and 2)", SETS,
          pd.DataFrame({"r": [1.0, 2.0]}, index=["a", "a"]))
    fails("wrong ranking: the score in row 1 (gene 'a') is NaN", SETS, LIST.replace(3.0, np.nan))
    fails("wrong rankings: column 'r' in row 2 (gene 'b') is 'two', not a number", SETS,
          pd.DataFrame({"r": [1.0, "two", np.nan]}, index=["a", "b", "c"]))
    # What the library refuses comes with its message.
    fails("wrong gene name in row 2: 'b\tc' holds a tab or a line break", SETS.assign(Target=["a", "b\tc", "c"]), LIST)


@pytest.mark.parametrize("keywords,message", [
    ({"threads": 0}, "wrong value for threads: 0 (a whole number from 1 to 2147483647)"),
    ({"adjust": "1"}, "wrong value for adjust: '1' (two characters)"),
    ({"weights": "4"}, "wrong value for weights: '4' (\"1\", \"2\" or \"3\")"),
    ({"fdr": "BH"}, "wrong value for fdr: 'BH' (\"bh\" or \"position\")"),
    ({"null": "Moments"}, "wrong value for null: 'Moments' (\"normal\" or \"moments\")"),
    ({"min_size": 5, "max_size": 4}, "wrong value for min_size: 5 is above max_size 4"),
    ({"permutations": 10_000_001}, "wrong value for permutations: 10000001 (a whole number from 1 to 10000000)"),
    ({"exceed": 0}, "wrong value for exceed: 0 (a whole number from 1 to 10000000)"),
    ({"seed": -1}, "wrong value for seed: -1 (a whole number from 0 to 18446744073709551615)"),
])
def test_bad_option(keywords, message):
    fails(message, "no such file", "nor this", **keywords)  # checked before anything is read


def test_file_error_as_command(tmp_path):
    bad = tmp_path / "list.txt"
    bad.write_text("a 1\n")
    out = subprocess.run([COMMAND, "-s", str(DATA["examples"][0]), "-i", str(bad)], capture_output=True, text=True)
    # The command's line, and where the line lies as the command tells it on standard error.
    fails(f"{out.stdout.strip()} ({out.stderr.strip()})", DATA["examples"][0], bad)
    fails(f"Sorry, couldn't open file {tmp_path / 'missing.bed'}", tmp_path / "missing.bed", bad)


LONG_RUN = """
import numpy as np, pandas as pd, quorin, sys
rng = np.random.default_rng(1)
genes = [f"g{k}" for k in range(5000)]
sets = pd.DataFrame({"set": np.repeat([f"s{k}" for k in range(5000)], 60),
                     "gene": rng.choice(genes, 300000), "score": rng.normal(50, 10, 300000)})
ranking = pd.Series(rng.normal(size=5000), index=genes)
print("started", flush=True)
quorin.analyse(sets, ranking, permutations=20000, exceed=20000)
"""


def test_ctrl_c():
    p = subprocess.Popen([sys.executable, "-c", LONG_RUN], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    assert p.stdout.readline() == "started\n"
    time.sleep(3.0)  # past the reading, which is not interrupted, also on a loaded machine
    assert p.poll() is None
    sent = time.monotonic()
    p.send_signal(signal.SIGINT)
    _, err = p.communicate(timeout=30)
    # About 0.3 s here; the bound leaves room for a loaded machine, and the
    # whole run would take minutes.
    assert time.monotonic() - sent < 5.0
    assert err.rstrip().endswith("KeyboardInterrupt")


@pytest.mark.parametrize("sets_text, list_text, options, warned", [
    ("c\t0\t1\tS; x|g1|y\t3\t.\nc\t0\t1\tS; x|g2|y\t2\t.\n", "g1\t1\ng2\t2\n", {"tscore": 0}, None),
    ("c\t0\t1\tS; x|g1|y\t3\t.\nc\t0\t1\tS; x|g2|y\t2\t.\n", "g1\t1\ng2\t2\n", {}, "score below -g 10"),
    ("c\t0\t1\tS; x|g1|y\t3\t.\nc\t0\t1\tS; x|g2|y\t2\t.\n", "g1\tNA\ng2\t2\n", {"tscore": 0}, "'NA', read as 0"),
    ("c\t0\t1\tS; x|ENSG1.2|y\t3\t.\nc\t0\t1\tS; x|ENSG2.1|y\t2\t.\n", "ENSG1\t1\nENSG2\t2\n", {"tscore": 0},
     "--strip-versions pairs 2"),
    ("c\t0\t1\tS; x|ENSG1.2|y\t3\t.\nc\t0\t1\tS; x|ENSG2.1|y\t2\t.\n", "ENSG1\t1\nENSG2\t2\n",
     {"tscore": 0, "strip_versions": True}, None),
])
def test_warnings_as_python_warnings(tmp_path, sets_text, list_text, options, warned):
    (tmp_path / "s.bed").write_text(sets_text)
    (tmp_path / "l.txt").write_text(list_text)
    import warnings
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        quorin.analyse(str(tmp_path / "s.bed"), str(tmp_path / "l.txt"), **options)
    messages = [str(w.message) for w in caught]
    if warned is None:
        assert messages == []
    else:
        assert len(messages) == 1 and warned in messages[0], messages


def test_refused_line_names_the_file_and_line(tmp_path):
    (tmp_path / "s.bed").write_text("c\t0\t1\tS; x|g1|y\t3\t.\n")
    (tmp_path / "l.txt").write_text("g1\t1\ng2\n")
    with pytest.raises(ValueError, match=r"wrong line: g2 \(.*l\.txt, line 2: a gene, a tab and its score"):
        quorin.analyse(str(tmp_path / "s.bed"), str(tmp_path / "l.txt"), tscore=0)
