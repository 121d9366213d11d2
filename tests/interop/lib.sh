# Helpers shared by the interop tests (sourced, not run). bash.
#
# Exit codes: 0 every check passed, 1 a check failed, 77 the test could not run here (CTest
# reports it as skipped through SKIP_RETURN_CODE).

# binkd lives in /usr/sbin, which a non-root PATH may lack.
PATH=$PATH:/usr/sbin:/sbin

failures=0

say() { printf '%s\n' "$*"; }

skip() {
  printf 'SKIP: %s\n' "$*"
  exit 77
}

die() {
  printf 'FAIL: %s\n' "$*"
  exit 1
}

# check DESCRIPTION COMMAND...: runs COMMAND, prints the result, counts a failure.
check() {
  local what=$1
  shift
  if "$@"; then
    printf '  ok    %s\n' "$what"
  else
    printf '  FAIL  %s\n' "$what"
    failures=$((failures + 1))
  fi
}

# has_line FILE LINE: FILE holds LINE exactly (CR at its end ignored).
has_line() { [ -f "$1" ] && tr -d '\r' < "$1" | grep -qxF -- "$2"; }

finish() {
  if [ "$failures" -ne 0 ]; then
    say "$failures check(s) failed"
    exit 1
  fi
  say "all checks passed"
  exit 0
}

# need_package PACKAGE PROGRAM: makes sure PROGRAM is on PATH, installing Debian's PACKAGE when
# it is missing and that is asked for (CI=true or QUENFAR_TEST_INSTALL=1). Skips the test when
# it is not, or cannot be done (not root, no apt-get, no mirror).
# The package's own daemons are kept from starting while it installs (policy-rc.d), so
# nothing but the tests' own processes listens on this machine.
need_package() {
  local package=$1 program=$2
  command -v "$program" > /dev/null 2>&1 && return 0
  [ "${CI:-}" = true ] || [ "${QUENFAR_TEST_INSTALL:-}" = 1 ] ||
    skip "$program is missing; install Debian package $package, or let the test install it: QUENFAR_TEST_INSTALL=1 make test (as root)"
  [ "$(id -u)" -eq 0 ] || skip "$program is missing; installing Debian package $package needs root"
  command -v apt-get > /dev/null 2>&1 || skip "$program is missing and there is no apt-get to install $package"
  say "installing Debian package $package"
  (
    # The interop tests may run side by side: one apt-get at a time.
    flock -w 240 9 || exit 1
    policy=/usr/sbin/policy-rc.d
    if [ ! -e "$policy" ]; then
      trap 'rm -f "$policy"' EXIT
      printf '#!/bin/sh\nexit 101\n' > "$policy" && chmod 755 "$policy"
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt_install() {
      timeout 120 apt-get -q -y -o DPkg::Lock::Timeout=60 install --no-install-recommends "$package"
    }
    apt_install || { timeout 90 apt-get -q -o DPkg::Lock::Timeout=60 update && apt_install; }
  ) 9> /tmp/quenfar-interop-apt.lock
  command -v "$program" > /dev/null 2>&1 ||
    skip "$program is missing and 'apt-get install $package' did not provide it (no package mirror?)"
}
