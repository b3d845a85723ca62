"""quorin: gene-set tests by a weighted Kendall rank correlation.

``quorin.analyse(sets, ranking)`` tests every gene set against a ranking and
returns the command's result table as a pandas DataFrame, with the exact
doubles the command writes with ``--digits=17``.
"""

import math
import os
import warnings

import numpy as np
import pandas as pd

from . import _quorin

__version__ = _quorin.version
__all__ = ["analyse", "__version__"]

_COUNT_MAX = 10_000_000
_INT_MAX = 2**31 - 1
_SEED_MAX = 2**64 - 1


def _bad(option, value, expected):
    raise ValueError(f"wrong value for {option}: {value!r} ({expected})")


def _whole(option, value, low, high):
    # bool is an int in Python, but not a count.
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, np.integer)) or not low <= value <= high:
        _bad(option, value, f"a whole number from {low} to {high}")
    return int(value)


def _options(tscore, adjust, weights, auto_p, threads, fdr, min_size, max_size, permutations, exceed, seed,
             detail, strip_versions=False, null="normal"):
    """The run options, checked as the command checks them (weights too)."""
    if isinstance(tscore, (bool, np.bool_)) or not isinstance(tscore, (int, float, np.integer, np.floating)) \
            or math.isnan(tscore):
        _bad("tscore", tscore, "a number")
    if not isinstance(adjust, str) or len(adjust) != 2:
        _bad("adjust", adjust, "two characters")
    if weights not in ("1", "2", "3"):
        _bad("weights", weights, '"1", "2" or "3"')
    if fdr not in (None, "bh", "position"):
        _bad("fdr", fdr, '"bh" or "position"')
    if null not in ("normal", "moments"):
        _bad("null", null, '"normal" or "moments"')
    threads = _whole("threads", threads, 1, _INT_MAX)
    low = 1 if min_size is None else _whole("min_size", min_size, 1, _INT_MAX)
    high = _INT_MAX if max_size is None else _whole("max_size", max_size, 1, _INT_MAX)
    if low > high:
        raise ValueError(f"wrong value for min_size: {low} is above max_size {high}")
    return {
        "tscore": float(tscore), "adjust": adjust, "weights": weights, "auto_p": bool(auto_p),
        "threads": threads, "fdr": fdr or "", "null": null, "min_size": low, "max_size": high,
        "permutations": 0 if permutations is None else _whole("permutations", permutations, 1, _COUNT_MAX),
        "exceed": _whole("exceed", exceed, 1, _COUNT_MAX), "seed": _whole("seed", seed, 0, _SEED_MAX),
        "detail": bool(detail), "strip_versions": bool(strip_versions),
    }


def _column(frame, what, given, names):
    """The column `given`, or the first whose name is one of `names` in any case."""
    if given is not None:
        if given not in frame.columns:
            raise ValueError(f"wrong sets: no column {given!r}")
        return frame[given]
    for column in frame.columns:
        if str(column).lower() in names:
            return frame[column]
    raise ValueError(f"wrong sets: no {what} column ({' or '.join(names)}); columns: "
                     + ", ".join(str(c) for c in frame.columns))


def _names(values, what, where):
    """Names as strings; a missing one fails with its row."""
    out = []
    for row, v in enumerate(values):
        if v is None or (isinstance(v, float) and math.isnan(v)):
            raise ValueError(f"wrong {where}: {what} in row {row + 1} is missing")
        out.append(str(v))
    return out


def _numbers(values, where, column, rows, nan_allowed=False):
    """A column of numbers as float64; a value that is not a number, or a NaN, fails with its row."""
    array = pd.to_numeric(values, errors="coerce").to_numpy(dtype="float64")
    nan = np.isnan(array)
    not_number = np.flatnonzero(nan & ~pd.isna(values).to_numpy())
    first = not_number[0] if len(not_number) else None if nan_allowed or not nan.any() else np.flatnonzero(nan)[0]
    if first is not None:
        label = "the score" if column is None else f"column {column!r}"
        value = values.iloc[first]
        raise ValueError(f"wrong {where}: {label} in row {first + 1} ({rows} {values.index[first]!r}) is "
                         + ("NaN" if pd.isna(value) else f"{value!r}, not a number"))
    return array


def _sets_input(sets, set_col, gene_col, score_col):
    if isinstance(sets, (str, os.PathLike)):
        return os.fspath(sets)
    if not isinstance(sets, pd.DataFrame):
        raise TypeError("sets must be a path or a pandas DataFrame (set, gene, score)")
    if len(sets) == 0:
        raise ValueError("wrong sets: the data frame has no rows")
    set_names = _column(sets, "set", set_col, ("set", "source"))
    genes = _column(sets, "gene", gene_col, ("gene", "target"))
    scores = _column(sets, "score", score_col, ("score", "weight"))
    return (_names(set_names, f"column {set_names.name!r}", "sets"), _names(genes, f"column {genes.name!r}", "sets"),
            _numbers(scores, "sets", scores.name, "index"))


def _unique_genes(index, where):
    genes = _names(index, "the gene (index)", where)
    seen = {}
    for row, gene in enumerate(genes):
        if gene in seen:
            raise ValueError(f"wrong {where}: gene {gene!r} is given twice (rows {seen[gene] + 1} and {row + 1})")
        seen[gene] = row
    return genes


def _ranking_input(ranking, matrix):
    """The ranking as _quorin takes it, and its kind."""
    if isinstance(ranking, (str, os.PathLike)):
        return os.fspath(ranking), "matrix_file" if matrix else "file"
    if isinstance(ranking, pd.Series):
        if len(ranking) == 0:
            raise ValueError("wrong ranking: the series has no genes")
        genes = _unique_genes(ranking.index, "ranking")
        return (genes, _numbers(ranking, "ranking", ranking.name, "gene")), "pairs"
    if isinstance(ranking, pd.DataFrame):
        if ranking.shape[0] == 0 or ranking.shape[1] == 0:
            raise ValueError("wrong rankings: the data frame has no genes or no rankings")
        genes = _unique_genes(ranking.index, "rankings")
        names = _names(ranking.columns, "the ranking name (column)", "rankings")
        values = [_numbers(ranking.iloc[:, k], "rankings", names[k], "gene", nan_allowed=True)
                  for k in range(ranking.shape[1])]
        return (names, genes, np.concatenate(values)), "matrix"
    raise TypeError("ranking must be a path, a pandas Series (index: genes) or a DataFrame (columns: rankings)")


def analyse(sets, ranking, *, tscore=10, adjust="11", weights="1", auto_p=False, threads=1, fdr=None,
            min_size=None, max_size=None, permutations=None, exceed=20, seed=1, null="normal", detail=False,
            matrix=False, set_col=None, gene_col=None, score_col=None, strip_versions=False):
    """Tests every gene set against the ranking(s) with a weighted Kendall tau.

    sets: a gene-set file (path), or a DataFrame with one row per (set, gene,
    score); its columns are found by name in any case (set or source, gene or
    target, score or weight), or named by set_col, gene_col and score_col.
    ranking: a gene-list file (path; with matrix=True a matrix of rankings as
    the command's --lists reads), a Series of scores indexed by gene, or a
    DataFrame whose columns are rankings and whose index holds the genes (NaN:
    the gene is not in that ranking).

    The options are the command's: tscore (-g), adjust (-r), weights (-w),
    auto_p (-p), threads (-t), fdr (--fdr; None: "bh" with permutations or
    null="moments", "position" otherwise), min_size, max_size, permutations,
    exceed, seed and null (--null: "normal" or "moments"; with "moments"
    Estimate holds z); strip_versions (--strip-versions) pairs
    ENSG00000141510.17 with ENSG00000141510. What the command warns of on
    standard error (few genes paired, most set scores below tscore, scores
    that are not numbers) is raised as a UserWarning through Python's warnings
    module. Returns the result table as a DataFrame in the command's
    order and with its column names (List first for several rankings; Size
    always; Permutations and Exact with permutations). With detail=True
    returns (table, detail): the per-gene detail of every tested set, genes in
    descending weight as in the command's detail file.

    Bad input or options raise ValueError with quorin's message; Ctrl-C stops
    the analysis at the next gene set and raises KeyboardInterrupt.
    """
    options = _options(tscore, adjust, weights, auto_p, threads, fdr, min_size, max_size, permutations, exceed,
                       seed, detail, strip_versions, null)
    set_input = _sets_input(sets, set_col, gene_col, score_col)
    list_input, kind = _ranking_input(ranking, matrix)
    r = _quorin.analyse(set_input, list_input, kind, options)
    for line in r["warnings"]:
        warnings.warn(line[len("warning: "):] if line.startswith("warning: ") else line, UserWarning, stacklevel=2)
    several = kind in ("matrix", "matrix_file")
    columns = {}
    if several:
        columns["List"] = np.asarray(r["rankings"], dtype=object)[r["list"]] if len(r["list"]) else []
    columns.update({"Gene-set": r["name"], "Size": r["size"], "PP": r["pp"], "Cor_dir": r["cor_dir"],
                    "Tau": r["tau"], "Estimate": r["estimate"]})
    if options["permutations"]:
        columns.update({"Permutations": r["permutations"], "Exact": r["exact"]})
    columns.update({"P-value": r["p_value"], "FDR": r["fdr"]})
    table = pd.DataFrame(columns)
    if not detail:
        return table
    record = r["d_record"]
    names = np.asarray(r["name"], dtype=object)
    parts = {}
    if several:
        parts["List"] = table["List"].to_numpy(dtype=object)[record]
    parts.update({"Gene-set": names[record] if len(record) else [], "Gene": r["d_gene"], "Vec_x": r["d_vec_x"],
                  "Vec_y": r["d_vec_y"], "Rank_x": r["d_rank_x"], "Rank_y": r["d_rank_y"],
                  "Weights": r["d_weights"]})
    return table, pd.DataFrame(parts)
