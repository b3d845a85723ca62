# analyse(): the arguments checked as the command checks its options, data
# frames and vectors turned into the records the library reads, and its
# result turned into the command's table as a data frame. The work is done in
# src/quorin_r.cpp, on the quorin library.

.count_max <- 1e7
.int_max <- 2147483647
.seed_max <- "18446744073709551615"

.fail <- function(...) stop(..., call. = FALSE)

.q <- function(x) paste0("'", x, "'")

.bad <- function(option, value, expected) {
  .fail(sprintf("wrong value for %s: %s (%s)", option, paste(deparse(value), collapse = " "), expected))
}

.one_number <- function(value) is.numeric(value) && length(value) == 1L && !is.na(value)

.whole <- function(option, value, low, high) {
  if (!.one_number(value) || value != trunc(value) || value < low || value > high) {
    .bad(option, value, sprintf("a whole number from %s to %s", format(low, scientific = FALSE),
                                format(high, scientific = FALSE)))
  }
  as.double(value)
}

.flag <- function(option, value) {
  if (!isTRUE(value) && !isFALSE(value)) .bad(option, value, "TRUE or FALSE")
  value
}

.one_of <- function(option, value, choices, expected) {
  if (!is.character(value) || length(value) != 1L || !value %in% choices) .bad(option, value, expected)
  value
}

# The seed as the digits the library reads: a number is exact up to 2^53, a
# string of digits reaches 2^64 - 1.
.seed <- function(seed) {
  digits <- if (is.character(seed) && length(seed) == 1L && grepl("^[0-9]+$", seed)) sub("^0+(.)", "\\1", seed)
  fits <- if (is.null(digits)) {
    .one_number(seed) && seed == trunc(seed) && seed >= 0 && seed <= 2^53
  } else {
    nchar(digits) < nchar(.seed_max) || (nchar(digits) == nchar(.seed_max) && digits <= .seed_max)
  }
  if (!fits) .bad("seed", seed, paste("a whole number from 0 to 2^53, or a string of digits up to", .seed_max))
  if (is.null(digits)) sprintf("%.0f", seed) else digits
}

.options <- function(tscore, adjust, weights, auto_p, threads, fdr, min_size, max_size, permutations, exceed,
                     seed, detail, null = "normal", strip_versions = FALSE) {
  if (!.one_number(tscore) || is.nan(tscore)) .bad("tscore", tscore, "a number")
  if (!is.character(adjust) || length(adjust) != 1L || is.na(adjust) || nchar(adjust) != 2L) {
    .bad("adjust", adjust, "two characters")
  }
  low <- if (is.null(min_size)) 1 else .whole("min_size", min_size, 1, .int_max)
  high <- if (is.null(max_size)) .int_max else .whole("max_size", max_size, 1, .int_max)
  options <- list(
    tscore = as.double(tscore), adjust = adjust,
    weights = .one_of("weights", weights, c("1", "2", "3"), "\"1\", \"2\" or \"3\""),
    auto_p = .flag("auto_p", auto_p), threads = .whole("threads", threads, 1, .int_max),
    # NULL: BH with permutations or null = "moments", position-wise otherwise, as the command.
    fdr = if (is.null(fdr)) "" else .one_of("fdr", fdr, c("bh", "position"), "\"bh\" or \"position\""),
    null = .one_of("null", null, c("normal", "moments"), "\"normal\" or \"moments\""),
    strip_versions = .flag("strip_versions", strip_versions),
    min_size = low, max_size = high,
    permutations = if (is.null(permutations)) 0 else .whole("permutations", permutations, 1, .count_max),
    exceed = .whole("exceed", exceed, 1, .count_max), seed = .seed(seed), detail = .flag("detail", detail))
  if (low > high) .fail(sprintf("wrong value for min_size: %.0f is above max_size %.0f", low, high))
  options
}

# The column `given`, or the first whose name is one of `names` in any case.
.column <- function(frame, what, given, names) {
  if (!is.null(given)) {
    if (!is.character(given) || length(given) != 1L || !given %in% names(frame)) {
      .fail("wrong sets: no column ", paste(deparse(given), collapse = " "))
    }
    return(given)
  }
  found <- which(tolower(names(frame)) %in% names)
  if (!length(found)) {
    .fail(sprintf("wrong sets: no %s column (%s); columns: %s", what, paste(names, collapse = " or "),
                  paste(names(frame), collapse = ", ")))
  }
  names(frame)[found[1L]]
}

# Names as strings; a missing one fails with its row.
.names <- function(values, what, where) {
  values <- as.character(values)
  missing <- which(is.na(values))
  if (length(missing)) .fail(sprintf("wrong %s: %s in row %d is missing", where, what, missing[1L]))
  values
}

# Numbers as doubles, text read as the command reads it; a value that is not
# a number, or an NA, fails with its row (`row_names`: how the row is named,
# or NULL).
.numbers <- function(values, where, label, row_names = NULL, na_allowed = FALSE) {
  given <- if (is.factor(values)) as.character(values) else values
  numbers <- if (is.character(given)) quorin_numbers(given) else suppressWarnings(as.double(given))
  not_number <- which(is.na(numbers) & !is.na(given))
  first <- if (length(not_number)) not_number[1L] else if (!na_allowed && anyNA(numbers)) which(is.na(numbers))[1L]
  if (!is.null(first)) {
    row <- if (is.null(row_names)) "" else sprintf(" (gene %s)", .q(row_names[first]))
    .fail(sprintf("wrong %s: %s in row %d%s is %s", where, label, first, row,
                  if (is.na(given[first])) "NA" else paste0(.q(given[first]), ", not a number")))
  }
  numbers
}

.sets_input <- function(sets, set_col, gene_col, score_col) {
  if (is.character(sets) && length(sets) == 1L) return(list(path = path.expand(sets)))
  if (!is.data.frame(sets)) .fail("sets must be a path or a data frame (set, gene, score)")
  if (!nrow(sets)) .fail("wrong sets: the data frame has no rows")
  set <- .column(sets, "set", set_col, c("set", "source"))
  gene <- .column(sets, "gene", gene_col, c("gene", "target"))
  score <- .column(sets, "score", score_col, c("score", "weight"))
  list(names = .names(sets[[set]], paste("column", .q(set)), "sets"),
       genes = .names(sets[[gene]], paste("column", .q(gene)), "sets"),
       values = .numbers(sets[[score]], "sets", paste("column", .q(score))))
}

.unique_genes <- function(genes, where, unnamed) {
  if (is.null(genes)) .fail(sprintf("wrong %s: %s", where, unnamed))
  genes <- .names(genes, "the gene name", where)
  twice <- which(duplicated(genes))
  if (length(twice)) {
    first <- match(genes[twice[1L]], genes)
    .fail(sprintf("wrong %s: gene %s is given twice (rows %d and %d)", where, .q(genes[first]), first, twice[1L]))
  }
  genes
}

# The ranking as the library takes it, and its kind.
.ranking_input <- function(ranking, matrix) {
  if (is.character(ranking) && length(ranking) == 1L && is.null(names(ranking))) {
    return(list(input = list(path = path.expand(ranking)), kind = if (matrix) "matrix_file" else "file"))
  }
  if ((is.numeric(ranking) || is.character(ranking)) && is.null(dim(ranking))) {
    if (!length(ranking)) .fail("wrong ranking: the vector has no genes")
    genes <- .unique_genes(names(ranking), "ranking", "the vector has no names (genes)")
    values <- .numbers(unname(ranking), "ranking", "the score", genes)
    return(list(input = list(genes = genes, values = values), kind = "pairs"))
  }
  if (is.matrix(ranking) || is.data.frame(ranking)) {
    if (!nrow(ranking) || !ncol(ranking)) .fail("wrong rankings: no genes or no rankings")
    has_genes <- if (is.data.frame(ranking)) .row_names_info(ranking) > 0L else !is.null(rownames(ranking))
    genes <- .unique_genes(if (has_genes) rownames(ranking), "rankings", "the rows have no names (genes)")
    if (is.null(colnames(ranking))) .fail("wrong rankings: the columns have no names (rankings)")
    names <- .names(colnames(ranking), "the ranking name (column)", "rankings")
    values <- lapply(seq_along(names), function(k) {
      column <- if (is.data.frame(ranking)) ranking[[k]] else ranking[, k]
      .numbers(column, "rankings", paste("column", .q(names[k])), genes, na_allowed = TRUE)
    })
    return(list(input = list(names = names, genes = genes, values = unlist(values)), kind = "matrix"))
  }
  .fail("ranking must be a path, a named vector of scores (names: genes), or a matrix or data frame ",
        "whose columns are rankings (row names: genes)")
}

# Tests every gene set against the ranking(s) by a weighted Kendall tau; the
# arguments are described in man/analyse.Rd.
analyse <- function(sets, ranking, tscore = 10, adjust = "11", weights = "1", auto_p = FALSE, threads = 1,
                    fdr = NULL, min_size = NULL, max_size = NULL, permutations = NULL, exceed = 20,
                    seed = 1, null = "normal", detail = FALSE, matrix = FALSE, set_col = NULL, gene_col = NULL,
                    score_col = NULL, strip_versions = FALSE) {
  options <- .options(tscore, adjust, weights, auto_p, threads, fdr, min_size, max_size, permutations, exceed,
                      seed, detail, null, strip_versions)
  matrix <- .flag("matrix", matrix)
  set_input <- .sets_input(sets, set_col, gene_col, score_col)
  list_input <- .ranking_input(ranking, matrix)
  r <- quorin_analyse(set_input, list_input$input, list_input$kind, options)
  for (line in r$warnings) warning(sub("^warning: ", "", line), call. = FALSE)
  several <- list_input$kind %in% c("matrix", "matrix_file")
  columns <- list()
  if (several) columns$List <- r$rankings[r$list]
  columns <- c(columns, list(`Gene-set` = r$name, Size = r$size, PP = r$pp, Cor_dir = r$cor_dir, Tau = r$tau,
                             Estimate = r$estimate))
  if (options$permutations > 0) columns <- c(columns, list(Permutations = r$permutations, Exact = r$exact))
  columns <- c(columns, list(`P-value` = r$p_value, FDR = r$fdr))
  table <- data.frame(columns, check.names = FALSE, stringsAsFactors = FALSE)
  if (!options$detail) return(table)
  d <- r$detail
  parts <- list()
  if (several) parts$List <- table$List[d$record]
  parts <- c(parts, list(`Gene-set` = r$name[d$record], Gene = d$gene, Vec_x = d$vec_x, Vec_y = d$vec_y,
                         Rank_x = d$rank_x, Rank_y = d$rank_y, Weights = d$weights))
  list(table = table, detail = data.frame(parts, check.names = FALSE, stringsAsFactors = FALSE))
}
