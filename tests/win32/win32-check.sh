#!/bin/sh
# Runs the Windows build under Wine: first its platform tests (when built), then three tossing
# runs of quenfar.exe on a small sample node, comparing byte for byte every file the runs write.
# Installs nothing; needs Wine and a finished cross build (make win32).
#
#   sh tests/win32/win32-check.sh [BUILD_DIR]      (default: build-win32)
#
# Exit status 0 when everything matches, 1 when something differs, 2 when it cannot run.
# KEEP_WORK=1 keeps the sample node for a look afterwards.
set -eu
export LC_ALL=C

build=${1:-build-win32}
exe=$build/quenfar.exe
if [ ! -f "$exe" ]; then
  echo "win32-check: $exe not found; build it with 'make win32'" >&2
  exit 2
fi
wine=${WINE:-}
if [ -z "$wine" ]; then
  for candidate in /usr/lib/wine/wine64 wine64 wine; do
    if command -v "$candidate" >/dev/null 2>&1; then
      wine=$candidate
      break
    fi
  done
fi
if [ -z "$wine" ]; then
  echo "win32-check: Wine not found (set WINE to its launcher)" >&2
  exit 2
fi

# One time zone for the program and for the expected dates; the C runtime reads TZ as well.
export TZ=UTC
export WINEDEBUG="${WINEDEBUG:--all}"

work=$(mktemp -d "${TMPDIR:-/tmp}/quenfar-win32-check.XXXXXX")
other=
cleanup() {
  if [ -n "${KEEP_WORK:-}" ]; then
    echo "win32-check: left $work"
  else
    rm -rf "$work"
  fi
  if [ -n "$other" ]; then
    rm -rf "$other"
  fi
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The Windows form of a path on this machine, as Wine maps it.
winpath() {
  "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r\n'
}

# --- the platform tests -------------------------------------------------------------------------
if [ -f "$build/quenfar_win32_tests.exe" ]; then
  # A directory on another file system lets the tests move a file across volumes.
  if [ -d /dev/shm ] && [ "$(stat -c %d /dev/shm)" != "$(stat -c %d "$work")" ]; then
    other=$(mktemp -d /dev/shm/quenfar-win32-check.XXXXXX)
    QUENFAR_OTHER_VOLUME=$(winpath "$other")
    export QUENFAR_OTHER_VOLUME
  fi
  if "$wine" "$build/quenfar_win32_tests.exe" >"$work/tests.txt" 2>&1; then
    echo "ok: platform tests ($(grep -c '^\[       OK \]' "$work/tests.txt") passed)"
  else
    fail "platform tests"
    cat "$work/tests.txt"
  fi
fi

# --- the sample node ----------------------------------------------------------------------------
node=$work/node
mkdir -p "$node/bin" "$node/in" "$node/files/NODELIST" "$node/flags" "$node/netmail"
cp "$exe" "$node/bin/quenfar.exe"
root=$(winpath "$node")
case $root in
  ?:\\*) ;;
  *)
    echo "win32-check: Wine gives no drive path for $node ('$root')" >&2
    exit 2
    ;;
esac

# Inbound, Logfile and NetmailDir relative to the current directory (the node), the rest with
# drive letters; an area from the area path list with a space in its directory.
printf '%s\r\n' \
  '; sample node' \
  '[QUENFAR]' \
  'Inbound     = in' \
  "Fileecho    = $root\\files" \
  'Logfile     = quenfar.log' \
  "TICDir      = $root\\tics" \
  "FlagsDir    = $root\\flags" \
  'NetmailDir  = netmail' \
  'FTNAddress  = 2:5020/9999.1' \
  'UserName    = John Doe' \
  '' \
  '[INCLUDE]' \
  'AreaPath = areas.lst' \
  'Events   = events.lst' >"$node/bin/quenfar.cfg"
printf '%s\r\n' "FE_A=$root\\pub\\fe a" >"$node/bin/areas.lst"
printf '%s\r\n' \
  '; area  file  command' \
  '* * %FLG%newfiles.flg' \
  'NODELIST * %flg%nodelist.flg' \
  'FE_B * %FLG%never.flg' \
  '* * cmd /c echo>>events.out' >"$node/bin/events.lst"

printf 'stale flag' >"$node/flags/newfiles.flg"
printf 'NODELIST.Z44  Last week\r\nnodelist.z45  Previous copy\r\n  continuation line\r\n\r\nREADME.TXT\n' \
  >"$node/files/NODELIST/files.bbs"
printf 'not a tic' >"$node/in/readme.txt"

# Runs quenfar.exe once in the node; its console output goes to console-N.txt. The exit
# status must be the second argument (0 unless given): 3 for a run in which a .tic failed.
run() {
  status=0
  (cd "$node" && "$wine" bin/quenfar.exe >"$work/console-$1.txt" 2>"$work/errors-$1.txt") ||
    status=$?
  [ "$status" -eq "${2:-0}" ] || fail "run $1 exited with status $status"
}

# Run 1: a nodelist, over an older entry of the same name in the description list.
printf 'Area NODELIST\r\nFile NODELIST.Z45\r\nDesc Weekly nodelist, day 345\r\nOrigin 2:5020/1\r\n' \
  >"$node/in/nl0001.TIC"
printf 'nodelist data' >"$node/in/NODELIST.Z45"
run 1

# Run 2: a name with a space, arrived in another letter case, into the mapped area.
printf 'AREA FE_A\r\nFILE My File.zip\r\nDESC Tools / misc\r\nOrigin 2:5020/2\r\n' \
  >"$node/in/space.tic"
printf 'zip data, 22 bytes....' >"$node/in/my file.zip"
run 2

# Run 3: a .tic naming a file outside the inbound directory is refused and stays.
printf 'AREA NODELIST\r\nFILE ..\\evil.zip\r\n' >"$node/in/bad.tic"
printf 'outside' >"$work/evil.zip"
run 3 3

# --- what the runs must have written ------------------------------------------------------------
expected=$work/expected
mkdir -p "$expected"

# Compares one file byte for byte.
check() {
  if [ ! -f "$2" ]; then
    fail "${1##*/}: missing"
  elif cmp -s "$1.expected" "$2"; then
    echo "ok: ${1##*/}"
  else
    fail "${1##*/} differs (expected, then actual)"
    od -c "$1.expected" | head -40
    echo ---
    od -c "$2" | head -40
  fi
}

# Names of every entry under a directory, one per line.
listing() {
  (cd "$1" && find . -mindepth 1 | sort)
}

# The log with its times and the Windows version masked; the masks check their format.
sed -e 's/^\(=== Start  \|=== End    \)[0-2][0-9]:[0-5][0-9]:[0-6][0-9]  [A-Z][a-z]*day, [0-3][0-9] [A-Z][a-z]* 20[0-9][0-9]\r$/\1<time>\r/' \
  -e 's/^Running under Windows NT [0-9][0-9]*\.[0-9][0-9]* Build [0-9][0-9]* .*\r$/Running under Windows NT <version>\r/' \
  "$node/quenfar.log" >"$work/log.masked" 2>/dev/null || true
printf '%s\r\n' 'Quenfar log file' 'Running under Windows NT <version>' '' \
  '=== Start  <time>' 'NODELIST.Z45 ---> NODELIST (Weekly nodelist, day 345)' \
  '=== End    <time>' '' '' \
  '=== Start  <time>' 'My File.zip ---> FE_A (Tools)' '=== End    <time>' '' '' \
  '=== Start  <time>' "Can't move file ..\\evil.zip" \
  "Warning: cannot toss ..\\evil.zip of bad.tic: the name is not a plain file name of the inbound" \
  'Nothing to toss' '=== End    <time>' '' '' \
  >"$expected/log.expected"
check "$expected/log" "$work/log.masked"

printf '%s\r\n' 'NODELIST.Z44  Last week' '  continuation line' 'README.TXT' \
  'NODELIST.Z45  Weekly nodelist, day 345' >"$expected/files.bbs.expected"
check "$expected/files.bbs" "$node/files/NODELIST/files.bbs"
printf '%s\r\n' '"My File.zip"  Tools' >"$expected/fe-a-files.bbs.expected"
check "$expected/fe-a-files.bbs" "$node/pub/fe a/files.bbs"

printf 'nodelist data' >"$expected/NODELIST.Z45.expected"
check "$expected/NODELIST.Z45" "$node/files/NODELIST/NODELIST.Z45"
printf 'zip data, 22 bytes....' >"$expected/My File.zip.expected"
check "$expected/My File.zip" "$node/pub/fe a/My File.zip"

: >"$expected/newfiles.flg.expected"
check "$expected/newfiles.flg" "$node/flags/newfiles.flg"
: >"$expected/nodelist.flg.expected"
check "$expected/nodelist.flg" "$node/flags/nodelist.flg"

# The event command sees the full path and the name, each in quotes.
printf '%s\r\n' "\"$root\\files\\NODELIST\\NODELIST.Z45\" \"NODELIST.Z45\"" \
  "\"$root\\pub\\fe a\\My File.zip\" \"My File.zip\"" >"$expected/events.out.expected"
check "$expected/events.out" "$node/events.out"

# Every entry of the node: the refused .tic and the other file stay in the inbound, the used
# .tic files are in TICDir, no temporary file is left anywhere, no flag of another area.
printf '%s\n' ./bad.tic ./readme.txt >"$expected/inbound.expected"
listing "$node/in" >"$work/inbound.txt"
check "$expected/inbound" "$work/inbound.txt"
printf '%s\n' ./nl0001.TIC ./space.tic >"$expected/tics.expected"
listing "$node/tics" >"$work/tics.txt" 2>/dev/null || true
check "$expected/tics" "$work/tics.txt"
printf '%s\n' ./newfiles.flg ./nodelist.flg >"$expected/flags.expected"
listing "$node/flags" >"$work/flags.txt"
check "$expected/flags" "$work/flags.txt"
printf '%s\n' ./2.msg ./3.msg >"$expected/netmail.expected"
listing "$node/netmail" >"$work/netmail.txt"
check "$expected/netmail" "$work/netmail.txt"
if [ -n "$(find "$node" -name '.quenfar-*')" ]; then
  fail "temporary files left: $(find "$node" -name '.quenfar-*')"
fi
if [ "$(cat "$work/evil.zip")" != outside ]; then
  fail "evil.zip was touched"
fi
if ! tr -d '\r' <"$work/console-3.txt" | grep -qx 'Nothing to toss'; then
  fail "run 3 did not say 'Nothing to toss' on the console"
fi

# --- the netmail messages -----------------------------------------------------------------------
# Header fields: text fields zero-filled to their width, numbers little-endian.
field() {
  printf '%s' "$1"
  head -c $(($2 - ${#1})) /dev/zero
}
u16() {
  # The format is built on purpose: two octal escapes, one per byte.
  # shellcheck disable=SC2059
  printf "\\$(printf '%03o' $(($1 & 255)))\\$(printf '%03o' $((($1 >> 8) & 255)))"
}
u32() {
  u16 $(($1 & 65535))
  u16 $((($1 >> 16) & 65535))
}

# Writes the expected message for one tossed file; the times come from the message's own
# creation time, which the dates in it must agree with.
expect_message() { # actual, area, name, description, size, origin, full path
  created=$(od -An -tu4 -j176 -N4 --endian=little "$1" | tr -d ' ')
  {
    field 'Quenfar Herald' 36
    field 'John Doe' 36
    field "$(date -u -d "@$created" '+Announce at %B %d, %Y')" 72
    field "$(date -u -d "@$created" '+%d %b %y  %H:%M:%S')" 20
    u16 0
    u16 9999
    u16 9999
    u16 0
    u16 5020
    u16 5020
    u32 "$created"
    u32 0
    u16 0
    u16 257
    u16 0
    printf '\001INTL 2:5020/9999 2:5020/9999\r\n\001FMPT 1\r\n\001TOPT 1\r\n'
    printf '\001MSGID: 2:5020/9999.1 %8x\r\n\r\n\r\n' "$created"
    printf '%s\r\n' "$(printf '=== %s ===========================' "$3" | head -c 27)" \
      "Fileecho   : $2" "Description: $4" "File size  : $5" "Hatched by : $6" \
      "Full path  : $7" '===========================' '' 'File proceded 1'
    head -c 1 /dev/zero
  }
}
if [ -f "$node/netmail/2.msg" ]; then
  expect_message "$node/netmail/2.msg" NODELIST NODELIST.Z45 'Weekly nodelist, day 345' 13 \
    2:5020/1 "$root\\files\\NODELIST\\NODELIST.Z45" >"$expected/2.msg.expected"
  check "$expected/2.msg" "$node/netmail/2.msg"
fi
if [ -f "$node/netmail/3.msg" ]; then
  expect_message "$node/netmail/3.msg" FE_A 'My File.zip' Tools 22 2:5020/2 \
    "$root\\pub\\fe a\\My File.zip" >"$expected/3.msg.expected"
  check "$expected/3.msg" "$node/netmail/3.msg"
fi

if [ "$failures" -ne 0 ]; then
  echo "win32-check: $failures check(s) failed"
  exit 1
fi
echo "win32-check: all files match"
