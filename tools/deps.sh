#!/bin/sh
# Installs the Debian packages that a make target needs and that are missing.
#
#   sh tools/deps.sh demo|test|stress|bench|package|win32|win32-check|ci
#
# demo: what builds the program; test adds GoogleTest, python3 and strace; stress python3 and
# strace (the fault campaign makes calls fail through it); bench the benchmark library;
# package the tools that give the .deb its build flags and dependencies; win32 the mingw-w64
# cross compiler; win32-check Wine; ci all of them and lintian, which the package test then
# runs on the .deb.
#
# Silent when nothing is missing. Otherwise it installs with apt-get as root, or through
# sudo when that needs no password, and else prints the one command to run and fails.
set -eu

missing=""
need() {
  case " $missing " in
    *" $1 "*) ;;
    *) missing="$missing $1" ;;
  esac
}
has() { command -v "$1" >/dev/null 2>&1; }

base() {
  has cmake || need cmake
  has g++ || has c++ || need g++
  has make || need make
}
gtest() { [ -f /usr/include/gtest/gtest.h ] || need libgtest-dev; }
python() { has python3 || need python3; }
tracer() { has strace || need strace; }
bench() { [ -f /usr/include/benchmark/benchmark.h ] || need libbenchmark-dev; }
package() {
  has dpkg-shlibdeps || need dpkg-dev
  has dpkg-buildflags || need dpkg-dev
  has file || need file
}
lint() { has lintian || need lintian; }
win32() {
  has cmake || need cmake
  has make || need make
  has x86_64-w64-mingw32-g++-posix || need g++-mingw-w64-x86-64-posix
}
wine() { [ -x /usr/lib/wine/wine64 ] || has wine64 || need wine64; }

case "${1:-}" in
  demo) base ;;
  test) base; gtest; python; tracer ;;
  stress) base; python; tracer ;;
  bench) base; bench ;;
  package) base; package ;;
  win32) win32 ;;
  win32-check) win32; wine ;;
  # The Windows tests are built from the GoogleTest sources that libgtest-dev ships.
  ci) base; gtest; python; tracer; bench; package; lint; win32; wine ;;
  *)
    echo "usage: sh tools/deps.sh demo|test|stress|bench|package|win32|win32-check|ci" >&2
    exit 2
    ;;
esac

[ -n "$missing" ] || exit 0
missing=${missing# }

if [ "$(id -u)" -eq 0 ]; then
  sudo=""
elif has sudo && sudo -n true 2>/dev/null; then
  sudo="sudo"
else
  echo "Missing packages; run: sudo apt-get install -y $missing" >&2
  exit 1
fi
if ! has apt-get; then
  echo "Missing packages; run: sudo apt-get install -y $missing" >&2
  exit 1
fi

echo "Installing $missing" >&2
$sudo apt-get update -qq
# shellcheck disable=SC2086 # one word per package
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing </dev/null
