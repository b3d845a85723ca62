# The package against the command: the same inputs give the same numbers, and
# bad input fails with the command's message or one naming the column. The
# comparisons need the command (QUORIN_COMMAND) and the project's folder
# (QUORIN_SOURCE), which the CTest test r.package gives.

source_dir <- Sys.getenv("QUORIN_SOURCE")
command <- Sys.getenv("QUORIN_COMMAND")
real_dir <- Sys.getenv("QUORIN_REAL_DATA", file.path(dirname(source_dir), "shared", "data", "real"))
data_files <- list(
  examples = file.path(source_dir, "examples", c("gene_sets.bed", "gene_list.txt")),
  real = file.path(real_dir, c("real_gene_sets.bed", "real_gene_list.txt")))

need_command <- function() skip_if(command == "", "QUORIN_COMMAND names the command to compare with")

fields <- function(lines) strsplit(lines, "\t", fixed = TRUE)

# A gene-set file as a long table: source, target, weight (as text: read as the command reads it).
sets_frame <- function(bed) {
  f <- fields(grep("^(#|$)", readLines(bed), value = TRUE, invert = TRUE))
  name <- vapply(f, `[`, "", 4L)
  data.frame(source = sub("; .*", "", name), target = sub("^[^|]*[|]([^|]*).*", "\\1", name),
             weight = vapply(f, `[`, "", 5L))
}

list_vector <- function(path) {
  f <- fields(readLines(path))
  setNames(vapply(f, `[`, "", 2L), vapply(f, `[`, "", 1L))
}

# Three rankings: the list, its scores reversed with every fifth gene left out,
# and half of it; as a matrix and as the matrix file that --lists reads.
rankings_matrix <- function(path) {
  v <- list_vector(path)
  s <- setNames(quorin:::quorin_numbers(v), names(v))
  m <- cbind(list = s, reversed = -s, half = s)
  m[seq(1, nrow(m), by = 5), "reversed"] <- NA
  m[seq(2, nrow(m), by = 2), "half"] <- NA
  file <- tempfile(fileext = ".tsv")
  text <- ifelse(is.na(m), "NA", sprintf("%.17g", m))
  writeLines(c(paste(c("gene", colnames(m)), collapse = "\t"),
               do.call(paste, c(list(names(s)), asplit(text, 2), sep = "\t"))), file)
  list(matrix = `rownames<-`(m, names(s)), file = file)
}

# Rows of a data frame as the command writes them with --digits=17.
as_lines <- function(frame) {
  text <- lapply(frame, function(x) if (is.double(x)) sprintf("%.17g", x) else as.character(x))
  if (!is.null(frame$Exact)) text$Permutations[frame$Exact] <- "exact"
  text$Exact <- NULL
  c(paste(names(text), collapse = "\t"), do.call(paste, c(text, sep = "\t")))
}

# name, data, ranking form, sets form, command arguments, arguments of analyse
cases <- list(
  list("defaults", "examples", "file", "file", character(), list()),
  list("auto_p", "examples", "vector", "frame", "-p", list(auto_p = TRUE)),
  list("real", "real", "vector", "frame", c("-g", "-1000", "-t", "2"), list(tscore = -1000, threads = 2)),
  list("w3_r_bh", "real", "file", "frame", c("-g", "-1000", "-w", "3", "-r", "21", "--fdr=bh", "--min-size=40"),
       list(tscore = -1000, weights = "3", adjust = "21", fdr = "bh", min_size = 40)),
  list("permutations", "real", "vector", "frame", c("--permutations=2000", "--seed=7"),
       list(permutations = 2000, seed = 7)),
  list("seed_64", "examples", "vector", "file", c("--permutations=300", "--exceed=5", "-p", "--seed=18446744073709551615"),
       list(permutations = 300, exceed = 5, auto_p = TRUE, seed = "18446744073709551615")),
  list("matrix", "real", "matrix", "frame", c("-g", "-1000", "-p"), list(tscore = -1000, auto_p = TRUE)),
  list("matrix_file", "examples", "matrix_file", "file", "--fdr=bh", list(fdr = "bh")))

for (case in cases) {
  test_that(paste("the same as the command:", case[[1]]), {
    need_command()
    files <- data_files[[case[[2]]]]
    skip_if_not(file.exists(files[1]), paste("no", files[1], "(QUORIN_REAL_DATA names its folder)"))
    ranking_form <- case[[3]]
    sets <- if (case[[4]] == "frame") sets_frame(files[1]) else files[1]
    if (startsWith(ranking_form, "matrix")) {
      m <- rankings_matrix(files[2])
      list_args <- c("--lists", m$file)
      ranking <- if (ranking_form == "matrix") m$matrix else m$file
    } else {
      list_args <- c("-i", files[2])
      ranking <- if (ranking_form == "vector") list_vector(files[2]) else files[2]
    }
    detail_file <- tempfile()
    out <- system2(command, c("-s", files[1], list_args, "-d", detail_file, case[[5]], "--digits=17", "--size"),
                   stdout = TRUE)
    r <- do.call(analyse, c(list(sets, ranking, matrix = ranking_form == "matrix_file", detail = TRUE), case[[6]]))
    result <- r$table
    expect_gt(nrow(result), 0)
    expect_identical(as_lines(result), out)  # the exact doubles
    # The detail file holds the sets of FDR below 0.05, in the same order.
    blocks <- Filter(nzchar, strsplit(paste(readLines(detail_file), collapse = "\n"), "//\n\n?")[[1]])
    keys <- intersect(c("List", "Gene-set"), names(result))
    record <- do.call(paste, result[keys])
    expect_identical(length(blocks), sum(result$FDR < 0.05))
    detail <- r$detail
    for (b in seq_along(blocks)) {
      part <- detail[do.call(paste, detail[keys]) == record[result$FDR < 0.05][b], -seq_along(keys)]
      expect_identical(as_lines(part), strsplit(blocks[b], "\n")[[1]][-1])
    }
    expect_identical(as.vector(table(factor(do.call(paste, detail[keys]), record))), result$Size)
  })
}

test_that("the version is the command's", {
  need_command()
  expect_identical(system2(command, "--version", stdout = TRUE), paste("quorin", packageVersion("quorin")))
  expect_identical(quorin:::quorin_version(), as.character(packageVersion("quorin")))
})

fails <- function(message, sets, ranking, ...) {
  e <- tryCatch(analyse(sets, ranking, ...), error = identity)
  expect_identical(conditionMessage(e), message)
}

sets <- data.frame(Source = c("S", "S", "S"), Target = c("a", "b", "c"), Weight = c(30, 20, 10))
ranking <- c(a = 3, b = 2, c = 1)

test_that("columns are found in any case or named", {
  expected <- analyse(sets, ranking, permutations = 10)
  expect_identical(analyse(setNames(sets, c("x", "y", "z")), ranking, set_col = "x", gene_col = "y",
                           score_col = "z", permutations = 10), expected)
  expect_identical(expected$Exact, TRUE)
  expect_identical(expected$Permutations, 6L)
})

frame_errors <- list(
  list("wrong sets: no score column (score or weight); columns: Source, Target", sets[1:2], ranking),
  list("wrong sets: column 'Weight' in row 2 is NA", transform(sets, Weight = c(30, NA, 10)), ranking),
  list("wrong sets: column 'Weight' in row 3 is 'x', not a number", transform(sets, Weight = c("30", "20", "x")),
       ranking),
  list("wrong sets: the data frame has no rows", sets[0, ], ranking),
  list("wrong ranking: gene 'b' is given twice (rows 2 and 3)", sets, setNames(ranking, c("a", "b", "b"))),
  list("wrong ranking: the vector has no names (genes)", sets, unname(ranking)),
  list("wrong rankings: gene 'a' is given twice (rows 1 and 2)", sets, matrix(1:2, 2, dimnames = list(c("a", "a"), "r"))),
  list("wrong ranking: the score in row 1 (gene 'a') is NA", sets, c(a = NA, b = 2, c = 1)),
  list("wrong rankings: column 'r' in row 2 (gene 'b') is 'two', not a number", sets,
       data.frame(r = c("1", "two", NA), row.names = c("a", "b", "c"))),
  list("wrong rankings: the rows have no names (genes)", sets, data.frame(r = 1:3)),
  # What the library refuses comes with its message.
  list("wrong gene name in row 2: 'b\tc' holds a tab or a line break", transform(sets, Target = c("a", "b\tc", "c")),
       ranking))

test_that("bad data frames and vectors fail with the column and row", {
  for (e in frame_errors) fails(e[[1]], e[[2]], e[[3]])
})

option_errors <- list(
  list(list(threads = 0), "wrong value for threads: 0 (a whole number from 1 to 2147483647)"),
  list(list(tscore = NA), "wrong value for tscore: NA (a number)"),
  list(list(adjust = "1"), "wrong value for adjust: \"1\" (two characters)"),
  list(list(weights = "4"), "wrong value for weights: \"4\" (\"1\", \"2\" or \"3\")"),
  list(list(fdr = "BH"), "wrong value for fdr: \"BH\" (\"bh\" or \"position\")"),
  list(list(auto_p = NA), "wrong value for auto_p: NA (TRUE or FALSE)"),
  list(list(min_size = 5, max_size = 4), "wrong value for min_size: 5 is above max_size 4"),
  list(list(permutations = 10000001), "wrong value for permutations: 10000001 (a whole number from 1 to 10000000)"),
  list(list(exceed = 0.5), "wrong value for exceed: 0.5 (a whole number from 1 to 10000000)"),
  list(list(seed = -1), "wrong value for seed: -1 (a whole number from 0 to 2^53, or a string of digits up to 18446744073709551615)"),
  list(list(seed = "18446744073709551616"), paste("wrong value for seed: \"18446744073709551616\" (a whole number from 0 to 2^53, or a string",
                                                        "of digits up to 18446744073709551615)")))

test_that("bad options fail before anything is read", {
  for (e in option_errors) do.call(fails, c(list(e[[2]], "no such file", "nor this"), e[[1]]))
})

test_that("a bad file fails with the command's message", {
  need_command()
  bad <- tempfile()
  writeLines("a 1", bad)
  bed <- data_files$examples[1]
  message <- suppressWarnings(system2(command, c("-s", bed, "-i", bad), stdout = TRUE))[1]
  fails(message, bed, bad)
  fails(paste("Sorry, couldn't open file", file.path(tempdir(), "missing.bed")), file.path(tempdir(), "missing.bed"), bad)
})

test_that("what the command warns of is an R warning", {
  sets <- data.frame(set = "S", gene = c("g1", "g2"), score = c(3, 2))
  expect_warning(analyse(sets, c(g1 = 1, g2 = 2)), "score below -g 10")
  expect_warning(analyse(sets, c(g1 = 1, g2 = 2), tscore = 0), NA)
})

test_that("an interrupt stops a long run at once", {
  # A run of half a minute in a separate R, which signals itself after a
  # second, once the inputs are read. It stops within the 100 ms poll and the
  # set at hand; the margin is for a loaded machine.
  script <- tempfile(fileext = ".R")
  writeLines(c(
    "set.seed(1)",
    "genes <- paste0('g', 1:5000)",
    "sets <- data.frame(set = rep(paste0('s', 1:3000), each = 20), gene = sample(genes, 6e4, TRUE),",
    "                   score = rnorm(6e4, 50, 10))",
    "ranking <- setNames(rnorm(5000), genes)",
    "sent <- tempfile()",
    "system(sprintf('(sleep 1; date +%%s.%%N > %s; kill -INT %d) &', sent, Sys.getpid()))",
    "tryCatch(quorin::analyse(sets, ranking, permutations = 20000, exceed = 20000),",
    "         interrupt = function(e) cat('interrupted', as.numeric(Sys.time()) - scan(sent, quiet = TRUE), '\\n'))"),
    script)
  out <- system2(file.path(R.home("bin"), "Rscript"), script, stdout = TRUE)
  expect_match(out, "^interrupted ")
  expect_lt(as.numeric(sub("interrupted ", "", out)), 2, label = out)
})
