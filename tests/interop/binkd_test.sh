#!/bin/bash
# binkd delivers a file echo to a node over binkp on loopback, and runs quenfar after the
# session, as a node's mailer does.
#
#   2:5020/1 (sender)   binkd client, one call: its outbound lists two files and their .tic
#                       files in a BSO file-attach list (139c0002.flo, "^" = delete when sent)
#   2:5020/2 (receiver) binkd server on 127.0.0.1, password-protected link, so the files land
#                       in the secure inbound; "exec quenfar *.tic" runs quenfar once after a
#                       session that brought .tic files. quenfar's copy lives in its own bin
#                       directory beside a quenfar.cfg whose Inbound is binkd's inbound.
#                       The receiver's inbound already holds a README.TXT that is not the
#                       one sent, so binkd keeps the new one as README.TXT.1; quenfar, with
#                       VerifyFiles and a links list, tosses the copy that fits its .tic.
#
# Usage: binkd_test.sh QUENFAR_BINARY
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

quenfar=${1:?usage: binkd_test.sh QUENFAR_BINARY}
[ -x "$quenfar" ] || die "no quenfar program at $quenfar"
need_package binkd binkd

work=$(mktemp -d "${TMPDIR:-/tmp}/quenfar-binkd.XXXXXX") || die "mktemp failed"
server=
cleanup() {
  if [ -n "$server" ]; then
    kill -TERM -- "-$server" 2> /dev/null
    wait "$server" 2> /dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

S=$work/sender
R=$work/receiver
mkdir -p "$S/outb" "$S/in" "$S/hatch" "$R/outb" "$R/inbound" "$R/insecure" "$R/bin" "$R/files" ||
  die "cannot make the node directories"

show_logs() {
  local f
  for f in "$R/binkd.log" "$R/server.out" "$S/binkd.log" "$S/client.out" "$R/quenfar.log"; do
    [ -s "$f" ] || continue
    say "----- $f"
    tail -n 60 "$f"
  done
}

# --- configuration ---------------------------------------------------------------------
write_configs() {
  local port=$1
  cat > "$S/binkd.conf" << EOF
log $S/binkd.log
loglevel 6
conlog 0
domain fidonet $S/outb 2
address 2:5020/1@fidonet
sysname "Sender"
location "Loopback"
sysop "Sender Sysop"
nodeinfo TCP,BINKP
inbound $S/in
inbound-nonsecure $S/in
pid-file $S/binkd.pid
try 1
node 2:5020/2@fidonet 127.0.0.1:$port Secret1
EOF
  cat > "$R/binkd.conf" << EOF
log $R/binkd.log
loglevel 6
conlog 0
domain fidonet $R/outb 2
address 2:5020/2@fidonet
sysname "Receiver"
location "Loopback"
sysop "Receiver Sysop"
nodeinfo TCP,BINKP
iport $port
listen 127.0.0.1
inbound $R/inbound
inbound-nonsecure $R/insecure
pid-file $R/binkd.pid
node 2:5020/1@fidonet - Secret1
exec "$R/bin/quenfar" *.tic
EOF
}

cp "$quenfar" "$R/bin/quenfar" || die "cannot copy quenfar"
cat > "$R/bin/quenfar.cfg" << EOF
[QUENFAR]
Inbound  = $R/inbound
Fileecho = $R/files
Logfile  = $R/quenfar.log
FTNAddress = 2:5020/2
VerifyFiles = YES
BadTicDir = $R/badtic
[INCLUDE]
Links = links.lst
EOF
printf '2:5020/1 TicPass\r\n' > "$R/bin/links.lst"
# A file of the same name that arrived earlier and is still waiting for its own .tic.
printf 'an earlier README, not the one sent\r\n' > "$R/inbound/README.TXT"

# What the sender hatched: two files, each with its .tic (one named in upper case, as DOS
# systems send them), listed file first, .tic second.
printf 'Nodelist difference, day 045\r\n' > "$S/hatch/NODEDIFF.A45"
head -c 3000 /dev/urandom > "$S/hatch/UTIL.ZIP"
printf 'Area NODEDIFF\r\nFile NODEDIFF.A45\r\nDesc Nodelist difference\r\nOrigin 2:5020/1\r\nFrom 2:5020/1\r\nTo 2:5020/2\r\nPw TicPass\r\n' \
  > "$S/hatch/nd000001.tic"
printf 'Area TOOLS\r\nFile UTIL.ZIP\r\nDesc Handy utilities\r\nOrigin 2:5020/1\r\nFrom 2:5020/1\r\nTo 2:5020/2\r\nPw TicPass\r\n' \
  > "$S/hatch/UT000002.TIC"
cp "$S/hatch/UTIL.ZIP" "$work/UTIL.ZIP.orig"
# A third file whose name is taken in the receiver's inbound, with its Size, Crc and Pw.
printf 'Read me first: the new release notes.\r\n' > "$S/hatch/README.TXT"
cp "$S/hatch/README.TXT" "$work/README.TXT.orig"
size_crc=$(python3 -c 'import sys, zlib; d = open(sys.argv[1], "rb").read(); print("Size %d\r\nCrc %08X\r" % (len(d), zlib.crc32(d)))' "$S/hatch/README.TXT") ||
  die "cannot compute the CRC of README.TXT"
printf 'Area DOCS\r\nFile README.TXT\r\nDesc Release notes\r\nFrom 2:5020/1\r\nTo 2:5020/2\r\nPw TICPASS\r\n%s\n' \
  "$size_crc" > "$S/hatch/rd000003.tic"
{
  printf '^%s\n' "$S/hatch/NODEDIFF.A45" "$S/hatch/nd000001.tic"
  printf '^%s\n' "$S/hatch/UTIL.ZIP" "$S/hatch/UT000002.TIC"
  printf '^%s\n' "$S/hatch/README.TXT" "$S/hatch/rd000003.tic"
} > "$S/outb/139c0002.flo"

# --- the receiver's binkd, on a free loopback port ----------------------------------------
# A random high port; when binkd cannot bind it, it stops at once and another one is tried.
listening() { grep -q "listen on 127.0.0.1:$1" "$R/binkd.log" 2> /dev/null; }
port=
for attempt in 1 2 3 4 5 6 7 8; do
  candidate=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
  write_configs "$candidate"
  rm -f "$R/binkd.log"
  # Its own process group (setsid), so the end of the test stops the server and any
  # session process it forked; timeout bounds its life in any case.
  setsid timeout 120 binkd -s "$R/binkd.conf" > "$R/server.out" 2>&1 &
  server=$!
  for _ in $(seq 50); do
    listening "$candidate" && break
    kill -0 "$server" 2> /dev/null || break
    sleep 0.1
  done
  if listening "$candidate"; then
    port=$candidate
    break
  fi
  say "port $candidate: binkd did not listen (attempt $attempt)"
  kill -TERM -- "-$server" 2> /dev/null
  wait "$server" 2> /dev/null
  server=
done
[ -n "$port" ] || { show_logs; die "binkd could not listen on any loopback port"; }
say "receiver 2:5020/2: binkd server on 127.0.0.1:$port"

# --- one call from the sender -------------------------------------------------------------
say "sender 2:5020/1: binkd -p -P 2:5020/2 (one call)"
started=$(date +%s%N)
timeout 60 binkd -p -P 2:5020/2 "$S/binkd.conf" > "$S/client.out" 2>&1
client_rc=$?

# binkd runs quenfar after the session, in the server's session process; the client may be
# done first. Wait (bounded) for the end of quenfar's run.
session_done() { grep -q 'done (to 2:5020/2@fidonet, OK' "$S/binkd.log"; }
if session_done; then
  for _ in $(seq 300); do
    grep -q '^=== End' "$R/quenfar.log" 2> /dev/null && break
    sleep 0.1
  done
fi
say "call and toss took $((($(date +%s%N) - started) / 1000000)) ms"

# --- checks -------------------------------------------------------------------------------
say "checking the transfer"
check "binkd client finished its call (exit code $client_rc)" test "$client_rc" -eq 0
check "the session completed" session_done
check "the session was password-protected (files go to the secure inbound)" \
  grep -q 'pwd protected session' "$S/binkd.log"
check "the sender's file-attach list is done (flo removed)" test ! -e "$S/outb/139c0002.flo"

say "checking the toss that binkd started"
check "binkd ran quenfar after the session" grep -q "executing .*$R/bin/quenfar" "$R/binkd.log"
check "quenfar's log has a complete run" grep -q '^=== End' "$R/quenfar.log"
check "log: NODEDIFF.A45 ---> NODEDIFF (Nodelist difference)" \
  has_line "$R/quenfar.log" "NODEDIFF.A45 ---> NODEDIFF (Nodelist difference)"
check "log: UTIL.ZIP ---> TOOLS (Handy utilities)" \
  has_line "$R/quenfar.log" "UTIL.ZIP ---> TOOLS (Handy utilities)"
check "NODEDIFF.A45 is in its area directory with its content" \
  cmp -s "$R/files/NODEDIFF/NODEDIFF.A45" <(printf 'Nodelist difference, day 045\r\n')
check "UTIL.ZIP is in its area directory, byte for byte" \
  cmp -s "$R/files/TOOLS/UTIL.ZIP" "$work/UTIL.ZIP.orig"
check "NODEDIFF/files.bbs has the entry" \
  has_line "$R/files/NODEDIFF/files.bbs" "NODEDIFF.A45  Nodelist difference"
check "TOOLS/files.bbs has the entry" \
  has_line "$R/files/TOOLS/files.bbs" "UTIL.ZIP      Handy utilities"
check "binkd kept the README.TXT that arrived under another name" \
  grep -q "README.TXT -> .*README.TXT.1" "$R/binkd.log"
check "log: README.TXT ---> DOCS (Release notes)" \
  has_line "$R/quenfar.log" "README.TXT ---> DOCS (Release notes)"
check "the renamed copy is in its area under the .tic's name, byte for byte" \
  cmp -s "$R/files/DOCS/README.TXT" "$work/README.TXT.orig"
check "the earlier README.TXT stays in the inbound for its own .tic" \
  cmp -s "$R/inbound/README.TXT" <(printf 'an earlier README, not the one sent\r\n')
check "nothing was refused" test ! -e "$R/badtic"
check "the inbound holds only the earlier README.TXT: .tic files deleted, files moved" \
  test "$(ls -A "$R/inbound")" = README.TXT

if [ "$failures" -ne 0 ]; then
  show_logs
fi
finish
