#!/usr/bin/env python3
"""Catalogue of bad and odd inputs: every row is one run of the built quorin.

Usage: bad_input.py QUORIN [ROW-NAME-PART ...]

Each row runs quorin in a fresh folder holding set.bed and list.txt, with the
command line "-s set.bed -i list.txt" followed by the row's arguments (a later
option replaces an earlier one, so a row can name other files). The expected
exit status, standard output and error stream are worked out from the input
rules: a line ends at a line feed and is cut at its first carriage return,
empty lines and lines starting with "#" are skipped, fields are split at single
tabs, and scores are read as C's atof reads them (leading number only; inf,
nan and hexadecimal as the C library reads them; out of range gives inf or 0).
No row may crash, hang or end by a signal.
"""
import os
import random
import sys
import tempfile

from quorin_run import run, show, write

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import compress  # noqa: E402

MB = 1024 * 1024
BOM = b"\xef\xbb\xbf"


def rec(name, score, tail=b"+"):
    """One gene-set record: three uninterpreted columns, the name field, the score, the rest."""
    return b"c\t1\t2\t" + name + b"\t" + score + b"\t" + tail + b"\n"


def three(scores, set_name=b"S", genes=(b"g1", b"g2", b"g3")):
    return b"".join(rec(set_name + b"; x|" + g, s) for g, s in zip(genes, scores))


SET = three([b"30", b"20", b"15"])
LIST = b"g1\t3\ng2\t2\ng3\t1\n"

HEAD = b"Gene-set\tPP\tCor_dir\tTau\tEstimate\tP-value\tFDR\n"
PROGRESS_HEAD = b"Gene-set\tPP\tCor_dir\tTau\tEstimate\tP-value\n"
# S with three genes in the same order in the set and the list.
ROW_S = b"S\t0.5\t+\t1\t2.28192\t0.0224943\t0.0224943\n"
TABLE = HEAD + ROW_S


def one_gene(name):
    """The row of a set with a single paired gene: tau 0, p-value 1."""
    return name + b"\t0.5\t+\t0\t0\t1\t1\n"


def wrong(line):
    return b"wrong line: " + line + b"\n"


def detail_s(xs, ys):
    """The detail block of S when the three genes rank 1, 2, 3 in both files."""
    rows = b"".join(b"%s\t%s\t%s\t%d\t%d\t%s\n" % (g, x, y, r, r, w) for g, x, y, r, w in
                    zip([b"g1", b"g2", b"g3"], xs, ys, [1, 2, 3], [b"0.833333", b"0.5", b"0.166667"]))
    return b"# Gene-set: S (+)\nGene\tVec_x\tVec_y\tRank_x\tRank_y\tWeights\n" + rows + b"//\n\n"


def garbage_line(size, seed):
    """Random bytes without line feed, carriage return or tab, not starting with '#'."""
    rnd = random.Random(seed)
    data = bytes(b for b in (rnd.randrange(256) for _ in range(size * 2)) if b not in b"\n\r\t")[:size]
    return b"x" + data


def garbage_file(size, seed):
    """Random bytes of every value; the expected message names the first line."""
    rnd = random.Random(seed)
    data = b"x" + bytes(rnd.randrange(256) for _ in range(size))
    first = data.split(b"\n")[0].split(b"\r")[0]
    assert first.count(b"\t") < 5, "pick another seed: the first line could be a record"
    return data, wrong(first)


GARBAGE = garbage_line(4096, 1)
GARBAGE_FILE, GARBAGE_FILE_MESSAGE = garbage_file(64 * 1024, 2)
BIG_NAME = b"N" * (10 * MB)
BIG_LINE = b"a" * (10 * MB)
MANY_SETS = b"".join(rec(b"S%06d; x|g1" % k, b"20") for k in range(100000))
SOME_SETS = b"".join(rec(b"S%04d; x|g1" % k, b"20") for k in range(2000))
# Over 4 MB, so that several threads read it in stretches: set Z has its genes
# at the start, in the middle and at the end, g1 twice (the later record wins).
BIG_SETS = (rec(b"Z; x|g1", b"14") + b"".join(rec(b"S%06d; x|g1" % k, b"20") for k in range(100000)) +
            rec(b"Z; x|g2", b"20") + b"".join(rec(b"S%06d; x|g1" % k, b"20") for k in range(100000, 200000)) +
            rec(b"Z; x|g1", b"30") + rec(b"Z; x|g3", b"15"))
BIG_SETS_OUT = HEAD + b"Z\t0.5\t+\t1\t2.28192\t0.0224943\t1\n" + b"".join(
    one_gene(b"S%06d" % k) for k in range(200000))
# Bad lines early and late in a large file: the first one in file order is reported.
BIG_BAD = (BIG_SETS[:len(BIG_SETS) // 3].rsplit(b"\n", 1)[0] + b"\nbad line A\n" +
           BIG_SETS[len(BIG_SETS) // 3:].split(b"\n", 1)[1] + b"bad line B\n" + SET)


GZ_SET = compress.member(SET)
GZ_LIST = compress.member(LIST)


def flip(data, at):
    """The bytes with one byte changed (all its bits inverted)."""
    return data[:at] + bytes([data[at] ^ 0xFF]) + data[at + 1:]


def compressed_error(name):
    return b"Sorry, couldn't read compressed file " + name + b": corrupt or truncated data\n"


class Row:
    def __init__(self, name, set=SET, lst=LIST, args=(), status=0, out=TABLE, err=b"", files=None,
                 absent=(), any_order=False, dirs=(), stdin_closed=False):
        self.name, self.set, self.lst, self.args = name, set, lst, list(args)
        self.stdin_closed = stdin_closed
        self.status, self.out, self.err, self.files = status, out, err, files or {}
        self.absent, self.any_order, self.dirs = absent, any_order, dirs


ROWS = [
    # --- gene-set file: bytes and lines ---
    Row("set_binary_garbage_line", set=GARBAGE, status=1, out=wrong(GARBAGE)),
    Row("set_binary_garbage_all_bytes", set=GARBAGE_FILE, status=1, out=GARBAGE_FILE_MESSAGE),
    Row("set_nul_in_set_and_gene_name", set=rec(b"S\0T; x|g\0h", b"20"), lst=b"g\0h\t5\n",
        out=HEAD + one_gene(b"S\0T")),
    # atof stops at the NUL: the score is 1, below the cut-off (1000 would change the result).
    Row("set_nul_in_score", set=SET + rec(b"S; x|g4", b"1\x00000"), lst=LIST + b"g4\t0.5\n"),
    Row("set_nul_in_bad_line", set=b"abc\0def\n", status=1, out=wrong(b"abc\0def")),
    Row("set_10mb_ignored_column", set=SET + rec(b"T; x|g9", b"20", b"+\t" + BIG_LINE)),
    Row("set_10mb_set_name", set=three([b"30", b"20", b"15"], set_name=BIG_NAME),
        out=HEAD + BIG_NAME + ROW_S[1:]),
    Row("set_10mb_line_without_tab", set=BIG_LINE, status=1, out=wrong(BIG_LINE)),
    Row("set_only_carriage_return", set=b"\r", out=HEAD),
    Row("set_blank_and_carriage_return_lines", set=b"\r\n\r\r\n\n\n" + SET + b"\n\r\n"),
    Row("set_carriage_return_mid_line", set=b"c\t1\t2\tS; x|g1\t30\r\t+\n" + SET, status=1,
        out=wrong(b"c\t1\t2\tS; x|g1\t30")),
    Row("set_crlf_line_ends", set=SET.replace(b"\n", b"\r\n")),
    # Carriage returns alone: one line, cut at its first carriage return.
    Row("set_carriage_return_line_ends", set=SET.replace(b"\n", b"\r"), out=HEAD + one_gene(b"S")),
    Row("set_no_final_line_feed", set=SET[:-1]),
    Row("set_empty_file", set=b"", out=HEAD),
    Row("set_bom_before_comment", set=BOM + b"# sets\n" + SET, status=1, out=wrong(BOM + b"# sets")),
    Row("set_bom_before_record", set=BOM + SET),
    Row("set_six_tabs_only", set=b"\t" * 6 + b"\n", status=1, out=wrong(b"\t" * 6)),
    Row("set_100000_tabs", set=b"\t" * 100000, status=1, out=wrong(b"\t" * 100000)),
    Row("set_blank_before_hash", set=b" # note\n" + SET, status=1, out=wrong(b" # note")),
    Row("set_header_without_hash", set=b"chrom\tstart\tend\tname\tscore\tstrand\n" + SET),
    Row("set_header_without_hash_cutoff_0", set=b"chrom\tstart\tend\tname\tscore\tstrand\n" + SET,
        args=["-g", "0"], status=1, out=wrong(b"chrom\tstart\tend\tname\tscore\tstrand")),
    # --- gene-set file: fields ---
    Row("set_five_fields_below_cutoff", set=SET + b"c\t1\t2\tS; x|g4\t5\n", status=1,
        out=wrong(b"c\t1\t2\tS; x|g4\t5")),
    Row("set_empty_last_sixth_field", set=SET + b"c\t1\t2\tS; x|g4\t30\t\n", status=1,
        out=wrong(b"c\t1\t2\tS; x|g4\t30\t")),
    Row("set_empty_sixth_field_then_seventh", set=SET + b"c\t1\t2\tT; x|g9\t30\t\tz\n"),
    Row("set_empty_name_field", set=SET + b"c\t1\t2\t\t30\t+\n", status=1, out=wrong(b"c\t1\t2\t\t30\t+")),
    Row("set_semicolon_without_blank", set=SET + rec(b"T;x|g1", b"30"), status=1,
        out=wrong(rec(b"T;x|g1", b"30")[:-1])),
    Row("set_semicolon_without_blank_below_cutoff", set=SET + rec(b"T;x|g1", b"3")),
    Row("set_gene_part_without_bar", set=SET + rec(b"T; g1", b"30"), status=1,
        out=wrong(rec(b"T; g1", b"30")[:-1])),
    Row("set_empty_set_name", set=three([b"30", b"20", b"15"], set_name=b""), out=HEAD + ROW_S[1:]),
    Row("set_empty_gene_name", set=SET + rec(b"S; x||y", b"40")),
    Row("set_extra_pieces_and_elements", set=three([b"30", b"20", b"15"], genes=(
        b"g1|a|b; more; x", b"g2|; y", b"g3||"))),
    Row("set_large_file_read_by_threads", set=BIG_SETS, args=["-t", "4"], out=BIG_SETS_OUT, any_order=True),
    Row("set_large_file_first_wrong_line", set=BIG_BAD, args=["-t", "4"], status=1, out=wrong(b"bad line A")),
    # The gene list is read while a large gene-set file is: the gene-set
    # file's error still comes first, and the list's own error is the same.
    Row("set_large_file_wrong_line_and_wrong_list", set=BIG_BAD, lst=b"list\n", args=["-t", "2"], status=1,
        out=wrong(b"bad line A")),
    Row("list_wrong_line_read_beside_large_file", set=BIG_SETS, lst=b"list\n", args=["-t", "2"], status=1,
        out=wrong(b"list")),
    Row("set_large_file_late_wrong_line", set=BIG_SETS + b"bad line B\n", args=["-t", "3"], status=1,
        out=wrong(b"bad line B")),
    # One set of 3000 genes ranked alike in both files, the list's magnitudes
    # in reverse order: tau 1; the estimate from the weights 1 - (r - 0.5) / n.
    Row("set_3000_genes_in_one_set", set=b"".join(rec(b"S; x|g%04d" % k, b"%d" % (10000 - k)) for k in range(3000)),
        lst=b"".join(b"g%04d\t%d\n" % (k, -k) for k in range(3000)), out=HEAD + b"S\t0.5\t+\t1\t79.0293\t0\t0\n"),
    Row("set_100000_sets_of_one_gene", set=MANY_SETS, args=["-t", "2"],
        out=HEAD + b"".join(one_gene(b"S%06d" % k) for k in range(100000)), any_order=True),
    # --- gene-set file: numbers ---
    Row("set_score_1e400_is_inf", set=three([b"1e400", b"20", b"15"]), args=["-d", "detail.txt"],
        files={"detail.txt": detail_s([b"inf", b"20", b"15"], [b"3", b"2", b"1"])}),
    # 1e-400 reads as 0: skipped under the default cut-off, kept under cut-off 0.
    Row("set_score_1e-400_below_cutoff", set=SET + rec(b"T; x|g1", b"1e-400")),
    Row("set_score_1e-400_cutoff_0", set=SET + rec(b"T; x|g1", b"1e-400"), args=["-g", "0"],
        out=HEAD + ROW_S[:-10] + b"0.0449885\n" + one_gene(b"T")),
    Row("set_score_nan_passes_cutoff", set=three([b"nan", b"20", b"15"]), args=["-d", "detail.txt"],
        files={"detail.txt": detail_s([b"nan", b"20", b"15"], [b"3", b"2", b"1"])}),
    # A NaN is never exchanged with a neighbour, so it holds 15 and 20 in index
    # order: the set ranks 1, 2, 3 like the list.
    Row("set_score_nan_holds_order", set=three([b"15", b"nan", b"20"]), args=["-d", "detail.txt"],
        files={"detail.txt": detail_s([b"15", b"nan", b"20"], [b"3", b"2", b"1"])}),
    # Two infinities tie: ranks 1, 1, 3 against 1, 2, 3.
    Row("set_score_infinities_tie", set=three([b"inf", b"INFINITY", b"15"]),
        out=HEAD + b"S\t0.5\t+\t0.314223\t0.72675\t0.467379\t0.467379\n"),
    Row("set_score_minus_inf_below_cutoff", set=SET + rec(b"T; x|g1", b"-inf")),
    Row("set_score_hexadecimal", set=three([b"0x1A", b"0x14", b"0xF"]) + rec(b"S; x|g4", b"0x9"),
        lst=LIST + b"g4\t0.5\n", args=["-d", "detail.txt"],
        files={"detail.txt": detail_s([b"26", b"20", b"15"], [b"3", b"2", b"1"])}),
    Row("set_score_leading_number_only", set=three([b" 3e1", b"+20,9", b"15abc"]) + rec(b"S; x|g4", b""),
        lst=LIST + b"g4\t0.5\n", args=["-d", "detail.txt"],
        files={"detail.txt": detail_s([b"30", b"20", b"15"], [b"3", b"2", b"1"])}),
    # --- gene-list file ---
    Row("list_binary_garbage_line", lst=GARBAGE, status=1, out=wrong(GARBAGE)),
    Row("list_nul_in_score", lst=b"g1\t3\ng2\t2\ng3\t1\x00009\n"),
    Row("list_10mb_line_without_tab", lst=BIG_LINE + b"\n", status=1, out=wrong(BIG_LINE)),
    Row("list_10mb_gene_name", lst=LIST + BIG_NAME + b"\t5\n"),
    Row("list_100000_columns", lst=b"g1\t3" + b"\tz" * 100000 + b"\ng2\t2\ng3\t1\n"),
    Row("list_only_carriage_return", lst=b"\r", out=HEAD),
    Row("list_carriage_return_mid_line", lst=b"g1\r\t3\n" + LIST, status=1, out=wrong(b"g1")),
    Row("list_crlf_line_ends", lst=LIST.replace(b"\n", b"\r\n")),
    Row("list_no_final_line_feed", lst=LIST[:-1]),
    Row("list_empty_file", lst=b"", out=HEAD),
    Row("list_bom_before_comment", lst=BOM + b"# genes\n" + LIST, status=1, out=wrong(BOM + b"# genes")),
    Row("list_bom_gene_does_not_pair", set=rec(b"S; x|g1", b"30"), lst=BOM + b"g1\t3\n", out=HEAD),
    Row("list_gene_only", lst=LIST + b"g4\n", status=1, out=wrong(b"g4")),
    Row("list_gene_and_tab", lst=LIST + b"g4\t\n", status=1, out=wrong(b"g4\t")),
    Row("list_empty_score_field", lst=LIST + b"g4\t\t3\n", status=1, out=wrong(b"g4\t\t3")),
    Row("list_empty_gene_name", lst=LIST + b"\tg4\t3\n", status=1, out=wrong(b"\tg4\t3")),
    Row("list_header_without_hash", lst=b"gene\tscore\n" + LIST),
    Row("list_gene_with_trailing_blank", lst=b"g1 \t3\ng2\t2\ng3\t1\n",
        out=HEAD + b"S\t0.5\t+\t1\t1.89737\t0.0577796\t0.0577796\n"),
    Row("list_score_out_of_range_and_hexadecimal", lst=b"g1\t1e400\ng2\t0x1p1\ng3\t1e-400\n",
        args=["-d", "detail.txt"], files={"detail.txt": detail_s([b"30", b"20", b"15"], [b"inf", b"2", b"0"])}),
    Row("list_score_nan", lst=b"g1\t3\ng2\t-nan\ng3\t1\n", args=["-d", "detail.txt"],
        files={"detail.txt": detail_s([b"30", b"20", b"15"], [b"3", b"-nan", b"1"])}),
    Row("list_score_text", lst=b"g1\t5abc\ng2\t2\ng3\tabc\n", args=["-d", "detail.txt"],
        files={"detail.txt": detail_s([b"30", b"20", b"15"], [b"5", b"2", b"0"])}),
    # --- files that cannot be read ---
    Row("set_file_is_directory", args=["-s", "."], status=1, out=b"Sorry, couldn't open file .\n"),
    Row("list_file_is_directory", args=["-i", "."], status=1, out=b"Sorry, couldn't open file .\n"),
    Row("set_file_missing", args=["-s", "missing.bed"], status=1, out=b"Sorry, couldn't open file missing.bed\n"),
    Row("set_file_empty_name", args=["-s", ""], status=1, out=b"Sorry, couldn't open file \n"),
    Row("list_file_empty_name", args=["-i", ""], status=1, out=b"Sorry, couldn't open file \n"),
    # (A file without read permission cannot be tested as root.)
    # --- compressed files (known by their first two bytes, 1f 8b) ---
    Row("gzip_set_and_list", set=GZ_SET, lst=GZ_LIST),
    Row("gzip_empty_member", set=compress.member(b""), out=HEAD),
    Row("gzip_members_cut_mid_line", set=compress.members(SET, [0, 3, 40, 41]), lst=compress.members(LIST, [5])),
    Row("gzip_bgzf_large_file_read_by_threads", set=compress.bgzf(BIG_SETS), args=["-t", "4"], out=BIG_SETS_OUT,
        any_order=True),
    # The decompressed line is shown, never the compressed bytes.
    Row("gzip_wrong_line_shows_text", set=compress.member(b"bad line\n"), status=1, out=wrong(b"bad line")),
    Row("gzip_of_a_directory_name", set=compress.member(b".\n"), status=1, out=wrong(b".")),
    Row("gzip_name_is_a_directory", args=["-s", "sets.gz"], dirs=["sets.gz"], status=1,
        out=b"Sorry, couldn't open file sets.gz\n"),
    Row("gzip_magic_bytes_only", set=b"\x1f\x8b", status=1, out=compressed_error(b"set.bed")),
    Row("gzip_header_only", set=GZ_SET[:10], status=1, out=compressed_error(b"set.bed")),
    Row("gzip_cut_in_the_data", set=GZ_SET[:len(GZ_SET) // 2], status=1, out=compressed_error(b"set.bed")),
    Row("gzip_cut_in_the_trailer", set=GZ_SET[:-3], status=1, out=compressed_error(b"set.bed")),
    Row("gzip_list_cut", lst=GZ_LIST[:-8], status=1, out=compressed_error(b"list.txt")),
    Row("gzip_corrupt_data", set=flip(GZ_SET, 12), status=1, out=compressed_error(b"set.bed")),
    Row("gzip_corrupt_checksum", set=flip(GZ_SET, len(GZ_SET) - 8), status=1, out=compressed_error(b"set.bed")),
    Row("gzip_corrupt_length", set=flip(GZ_SET, len(GZ_SET) - 1), status=1, out=compressed_error(b"set.bed")),
    Row("gzip_trailing_garbage", set=GZ_SET + b"x", status=1, out=compressed_error(b"set.bed")),
    Row("gzip_trailing_magic_bytes", set=GZ_SET + b"\x1f\x8b", status=1, out=compressed_error(b"set.bed")),
    Row("gzip_zero_padding", set=GZ_SET + bytes(512), lst=compress.bgzf(LIST) + bytes(8)),
    Row("gzip_bgzf_corrupt_middle_block", set=flip(compress.bgzf(BIG_SETS), 200000), args=["-t", "2"], status=1,
        out=compressed_error(b"set.bed")),
    Row("gzip_bgzf_cut_in_last_block", set=compress.bgzf(SET)[:-30], status=1, out=compressed_error(b"set.bed")),
    # --- standard input ---
    Row("stdin_for_both_files", args=["-s", "-", "-i", "-"], status=1,
        out=b"wrong input files: -s and -i can't both be - (standard input)\n"),
    # Standard input by its name and as "-": compared by inode (here /dev/null).
    Row("stdin_by_name_and_dash", args=["-s", "/dev/stdin", "-i", "-"], status=1,
        out=b"wrong input files: -s and -i can't both be - (standard input)\n"),
    Row("stdin_empty_gene_set_file", args=["-s", "-"], out=HEAD),
    # The gene-set file then takes descriptor 0; "-" must not read it again.
    Row("stdin_closed_gene_list", args=["-i", "-"], stdin_closed=True, status=1,
        out=b"Sorry, couldn't read standard input: it is closed\n"),
    # --- option values ---
    Row("option_cutoff_nan_passes_all", set=SET + rec(b"T; x|g1", b"-5"), args=["-g", "nan"],
        out=HEAD + ROW_S[:-10] + b"0.0449885\n" + one_gene(b"T")),
    Row("option_cutoff_inf", args=["-g", "inf"], out=HEAD),
    Row("option_cutoff_1e400", args=["-g", "1e400"], out=HEAD),
    Row("option_adj_method_empty", args=["-r", ""], status=1, out=b"wrong adj_method: \n"),
    Row("option_adj_method_one_utf8_character", args=["-r", "\u00e9"]),
    Row("option_thread_count_too_large", args=["-t", "99999999999"]),
    Row("option_thread_count_hexadecimal", args=["-t", "0x10"], status=1, out=b"wrong thread number: 0x10\n"),
    Row("option_thread_count_trailing_text", args=["-t", " 2x"]),
    Row("option_2000_threads", set=SOME_SETS, args=["-t", "100000"],
        out=HEAD + b"".join(one_gene(b"S%04d" % k) for k in range(2000)), any_order=True),
    Row("option_weighting_method_empty", args=["-w", ""], status=1,
        out=b"unknown weighting method: \nx_n < 1\n"),
    Row("option_output_empty_name", args=["-o", ""], status=1, out=PROGRESS_HEAD + ROW_S[:-11] + b"\n",
        err=b"Sorry, couldn't open \n"),
    Row("option_output_directory", args=["-o", "."], status=1, out=PROGRESS_HEAD + ROW_S[:-11] + b"\n",
        err=b"Sorry, couldn't open .\n"),
    Row("option_detail_empty_name", args=["-d", ""], status=1, err=b"Sorry, couldn't open \n"),
    # --- values of the long-only options: refused before any file is read (the
    # gene-set file here would end the run with "wrong line") ---
    Row("option_digits_zero", set=b"bad\n", args=["--digits=0"], status=1,
        out=b"wrong value for --digits: '0' (a whole number from 1 to 17)\n"),
    Row("option_digits_18", set=b"bad\n", args=["--digits", "18"], status=1,
        out=b"wrong value for --digits: '18' (a whole number from 1 to 17)\n"),
    Row("option_digits_text", set=b"bad\n", args=["--digits=x"], status=1,
        out=b"wrong value for --digits: 'x' (a whole number from 1 to 17)\n"),
    # 17 digits give back the doubles themselves.
    Row("option_digits_17_round_trip", args=["--digits=17"],
        out=HEAD + b"S\t0.5\t+\t1\t2.2819164877669946\t0.022494271222449624\t0.022494271222449624\n"),
    Row("option_min_size_above_max_size", set=b"bad\n", args=["--min-size=10", "--max-size=5"], status=1,
        out=b"wrong value for --min-size: 10 is above --max-size 5\n"),
    Row("option_min_size_negative", set=b"bad\n", args=["--min-size=-1"], status=1,
        out=b"wrong value for --min-size: '-1' (a whole number from 1 on)\n"),
    Row("option_min_size_above_every_set", args=["--min-size=4"], out=HEAD),
    Row("option_fdr_unknown", set=b"bad\n", args=["--fdr=xyz"], status=1,
        out=b"wrong value for --fdr: 'xyz' (bh or position)\n"),
    Row("option_permutations_zero", set=b"bad\n", args=["--permutations=0"], status=1,
        out=b"wrong value for --permutations: '0' (a whole number from 1 to 10000000)\n"),
    Row("option_permutations_negative", set=b"bad\n", args=["--permutations=-5"], status=1,
        out=b"wrong value for --permutations: '-5' (a whole number from 1 to 10000000)\n"),
    Row("option_permutations_text", set=b"bad\n", args=["--permutations=many"], status=1,
        out=b"wrong value for --permutations: 'many' (a whole number from 1 to 10000000)\n"),
    Row("option_permutations_above_limit", set=b"bad\n", args=["--permutations=10000001"], status=1,
        out=b"wrong value for --permutations: '10000001' (a whole number from 1 to 10000000)\n"),
    Row("option_seed_text", set=b"bad\n", args=["--seed=x"], status=1,
        out=b"wrong value for --seed: 'x' (a whole number from 0 to 18446744073709551615)\n"),
    Row("option_seed_too_large", set=b"bad\n", args=["--seed=18446744073709551616"], status=1,
        out=b"wrong value for --seed: '18446744073709551616' (a whole number from 0 to 18446744073709551615)\n"),
    Row("option_exceed_zero", set=b"bad\n", args=["--exceed=0"], status=1,
        out=b"wrong value for --exceed: '0' (a whole number from 1 to 10000000)\n"),
    # Three genes have 3! = 6 orderings: with 6 permutations allowed, all are visited.
    Row("option_permutations_exact", args=["--permutations=6"],
        out=b"Gene-set\tSize\tPP\tCor_dir\tTau\tEstimate\tPermutations\tP-value\tFDR\n"
            b"S\t3\t0.5\t+\t1\t2.28192\texact\t0.333333\t0.333333\n"),
    Row("option_version_with_value", set=b"bad\n", args=["--version=1"], status=1,
        out=b"invalid option: --version=1\n", err=None),
]


def check(quorin, row):
    problems = []
    with tempfile.TemporaryDirectory() as work:
        write(work, "set.bed", row.set)
        write(work, "list.txt", row.lst)
        for name in row.dirs:
            os.mkdir(os.path.join(work, name))
        ended = run(quorin, ["-s", "set.bed", "-i", "list.txt"] + row.args, work, close_stdin=row.stdin_closed)
        if ended.problem():
            return [ended.problem()]
        if ended.status != row.status:
            problems.append("exit status %d, expected %d" % (ended.status, row.status))
        out, want = ended.stdout, row.out
        if row.any_order:  # lines with equal FDR come in no defined order
            out, want = sorted(out.split(b"\n")), sorted(want.split(b"\n"))
            if ended.stdout[:len(HEAD)] != HEAD:
                problems.append("stdout does not start with the header")
        if out != want:
            problems.append("stdout differs\n--- expected\n%s\n--- got\n%s" % (show(row.out), show(ended.stdout)))
        # Warnings and the line that says where a refused line lies are checked
        # by the end-to-end cases; here the rest of the error stream is.
        told = (b"warning: ", b"set.bed, line ", b"list.txt, line ")
        err = b"".join(line for line in ended.stderr.splitlines(True) if not line.startswith(told))
        if row.err is not None and err != row.err:
            problems.append("stderr differs\n--- expected\n%s\n--- got\n%s" % (show(row.err), show(ended.stderr)))
        for name, data in row.files.items():
            path = os.path.join(work, name)
            got = open(path, "rb").read() if os.path.exists(path) else None
            if got != data:
                problems.append("%s differs\n--- expected\n%s\n--- got\n%s" %
                                (name, show(data), "(missing)" if got is None else show(got)))
    return problems


def main():
    quorin = os.path.abspath(sys.argv[1])
    only = sys.argv[2:]
    names = [r.name for r in ROWS]
    assert len(names) == len(set(names)), "row names must be unique"
    failed = 0
    for row in ROWS:
        if only and not any(part in row.name for part in only):
            continue
        problems = check(quorin, row)
        if problems:
            failed += 1
            print("FAIL %s: %s" % (row.name, "\n  ".join(problems)))
        else:
            print("ok   %s" % row.name)
    print("%d rows, %d failed" % (len(ROWS), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
