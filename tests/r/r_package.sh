#!/bin/sh
# Usage: r_package.sh R PACKAGE_DIR WORK_DIR
# Builds the package's tarball, installs it into WORK_DIR/library and runs its
# tests there. Exit status 77 (skipped) when a test was skipped: the real data
# is missing.
set -eu
R=$1 package=$2 work=$3
rm -rf "$work"
mkdir -p "$work/library"
cd "$work"
"$R" CMD build --no-manual "$package"
MAKEFLAGS=${MAKEFLAGS:--j2} "$R" CMD INSTALL --library="$work/library" quorin_*.tar.gz
R_LIBS="$work/library" "$R" --vanilla --no-echo -e "
  results <- as.data.frame(testthat::test_dir('$package/tests/testthat', package = 'quorin',
                                              load_package = 'installed', stop_on_failure = TRUE))
  if (any(results\$skipped)) quit(status = 77)"
