#!/bin/sh
# lintian on the Debian package: no error and no warning, and, with everything lintian can
# say shown (--pedantic, informational tags), none about hardening or the programs' sections.
# The package's own overrides, each with its reason, count.
#
#   sh lintian_test.sh BUILD_DIR
#
# lintian is installed when missing, asked for (CI=true or QUENFAR_TEST_INSTALL=1) and this
# runs as root with apt-get; exit status 77 (skipped) when it is not.
set -eu

build=$(cd "$1" && pwd)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
skip() {
  echo "SKIP: $*"
  exit 77
}

command -v cpack >/dev/null 2>&1 || skip "cpack is not installed"
if ! command -v lintian >/dev/null 2>&1; then
  [ "${CI:-}" = true ] || [ "${QUENFAR_TEST_INSTALL:-}" = 1 ] ||
    skip "lintian is not installed; install it (apt-get install lintian), or let the test install it: QUENFAR_TEST_INSTALL=1 make test (as root)"
  [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1 ||
    skip "lintian is not installed, and installing it needs root and apt-get"
  echo "installing lintian"
  # One apt-get at a time with the interop tests, which install their peers the same way.
  (
    flock -w 240 9 || exit 1
    export DEBIAN_FRONTEND=noninteractive
    timeout 300 apt-get -q -y -o DPkg::Lock::Timeout=60 install --no-install-recommends \
      lintian </dev/null ||
      { timeout 90 apt-get -q -o DPkg::Lock::Timeout=60 update </dev/null &&
        timeout 300 apt-get -q -y -o DPkg::Lock::Timeout=60 install --no-install-recommends \
          lintian </dev/null; }
  ) 9>/tmp/quenfar-interop-apt.lock >/dev/null 2>&1 || true
  command -v lintian >/dev/null 2>&1 || skip "lintian is not installed and apt-get could not install it"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quenfar-lintian.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM

# A package of its own, so that this test does not race the install test for the .deb.
if ! (cd "$build" && env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL cpack -G DEB -B "$work") \
  >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack -G DEB failed"
fi
set -- "$work"/quenfar_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "cpack made no single quenfar_*.deb: $*"

lintian --version
rc=0
lintian --pedantic --display-info --fail-on error,warning "$1" >"$work/lintian.out" 2>&1 || rc=$?
# As root lintian says that it would rather not run so; that is no finding.
grep -v 'running with root privileges is not recommended' "$work/lintian.out" >"$work/tags" || true
cat "$work/tags"
[ "$rc" -eq 0 ] || fail "lintian reports an error or a warning (exit status $rc)"
if grep -E '^[EW]: |hardening-|binary-has-unneeded-section' "$work/tags" >/dev/null; then
  fail "lintian reports the tags above"
fi
echo "lintian: clean"
