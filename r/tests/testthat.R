library(testthat)
library(quorin)

test_check("quorin")
