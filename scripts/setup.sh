#!/bin/sh
# Installs what building quorin needs on Debian or Ubuntu, and only what is
# missing, so that the README's two commands work on a fresh machine.
#
#   scripts/setup.sh           the build: cmake, make, g++, pkg-config, libdeflate, and for the
#                              Python package pybind11, Python's headers, numpy and pandas
#   scripts/setup.sh --tests   also what the tests need: python3, GoogleTest, tmux
#                              (the progress bar test), chromium (the report's
#                              browser test), snakemake, SLURM and munge (the
#                              workflow's tests, one on a single-node cluster), R
#                              with Rcpp and testthat (the R package's test), and
#                              on Debian dpkg-dev and file for the package test
#
# On a system without apt-get it names what is missing and stops; the README's
# "Install" section lists the prerequisites by their names elsewhere.
set -eu

tests=no
for arg in "$@"; do
  case $arg in
    --tests) tests=yes ;;
    *) echo "usage: scripts/setup.sh [--tests]" >&2; exit 2 ;;
  esac
done

missing=""
need_command() {  # command, Debian package
  # /usr/sbin (the SLURM daemons) is not on every user's PATH.
  command -v "$1" >/dev/null 2>&1 || [ -x "/usr/sbin/$1" ] || missing="$missing $2"
}
need_header() {  # header under include/, Debian package
  [ -f "/usr/include/$1" ] || [ -f "/usr/local/include/$1" ] || missing="$missing $2"
}
need_r_package() {  # R package, Debian package
  [ -d "/usr/lib/R/site-library/$1" ] || [ -d "/usr/lib/R/library/$1" ] || [ -d "/usr/local/lib/R/site-library/$1" ] ||
    missing="$missing $2"
}

need_command cmake cmake
need_command make make
need_command g++ g++
need_command pkg-config pkg-config
need_header libdeflate.h libdeflate-dev
# The Python package: built for Debian's /usr/bin/python3, with its numpy and pandas.
need_python() {  # module, Debian package
  /usr/bin/python3 -c "import $1" >/dev/null 2>&1 || missing="$missing $2"
}
need_header pybind11/pybind11.h pybind11-dev
ls /usr/include/python3*/Python.h >/dev/null 2>&1 || missing="$missing python3-dev"
need_python numpy python3-numpy
need_python pandas python3-pandas
if [ "$tests" = yes ]; then
  need_python pytest python3-pytest
  need_header gtest/gtest.h libgtest-dev
  need_header gmock/gmock.h libgmock-dev
  need_command tmux tmux
  # Without them browser.report and workflow.shards are skipped, not run.
  need_command chromium chromium
  need_command snakemake snakemake
  need_command slurmctld slurm-wlm
  need_command munged munge
  need_command R r-base-dev
  need_r_package Rcpp r-cran-rcpp
  need_r_package testthat r-cran-testthat
  # The package test checks the dependencies that dpkg-shlibdeps finds.
  if command -v dpkg >/dev/null 2>&1; then
    need_command dpkg-shlibdeps dpkg-dev
    need_command file file
  fi
fi

[ -z "$missing" ] && exit 0

if ! command -v apt-get >/dev/null 2>&1; then
  echo "scripts/setup.sh: missing:$missing (Debian package names); install them with your system's" \
       "package manager (see the README, Install), then run the command again" >&2
  exit 1
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo=sudo
  else
    echo "scripts/setup.sh: missing:$missing; as root, run: apt-get install$missing" >&2
    exit 1
  fi
fi

echo "scripts/setup.sh: installing$missing"
$sudo apt-get update -q
# shellcheck disable=SC2086  # one word per package
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
