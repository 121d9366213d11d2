#!/bin/bash
# crashmail packs quenfar's netmail announcement into a packet, and the packet decodes the
# strict FTS-0001 way: a fixed 20-byte DateTime, then the to-name, from-name, subject, text.
#
# quenfar stores its announcement in a *.msg directory; crashmail, with that directory as its
# NETMAIL area, exports it with SCAN. crashmail does not pack netmail for an address of its
# own: it exports and imports such a message again into the same area. So here crashmail is
# 2:5020/1 and routes netmail for 2:5020/2 (quenfar's FTNAddress, both ends of the message)
# directly to that node, which puts the message into an unpacked netmail packet in the BSO
# outbound (139c0002.out).
#
# crashmail never exports 1.msg, and with MSG_HIGHWATER keeps its high-water mark there. So
# quenfar stores the first announcement of a fresh netmail directory as 2.msg and never
# writes 1.msg. Both settings run on a fresh directory, quenfar first: SCAN exports the
# first announcement, and 1.msg is crashmail's alone. With the high-water mark written, a
# second announcement (3.msg) is exported as well, and 1.msg stays as crashmail wrote it.
# Once 2.msg and 3.msg are deleted, the third announcement still goes above the mark (4.msg),
# and SCAN exports it too: every announcement reaches the packet.
#
# Usage: crashmail_test.sh QUENFAR_BINARY [MSGDUMP_BINARY]
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

quenfar=${1:?usage: crashmail_test.sh QUENFAR_BINARY [MSGDUMP_BINARY]}
msgdump=${2:-}
[ -x "$quenfar" ] || die "no quenfar program at $quenfar"
need_package crashmail crashmail
need_package python3-minimal python3
export LC_ALL=C

work=$(mktemp -d "${TMPDIR:-/tmp}/quenfar-crashmail.XXXXXX") || die "mktemp failed"
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

# setup MODE: a fresh node and crashmail for MODE, highwater (MSG_HIGHWATER on) or plain.
setup() {
  mode=$1
  N=$work/$mode/node
  C=$work/$mode/crashmail
  mkdir -p "$N/bin" "$N/inbound" "$N/files" "$N/netmail" \
    "$C/outb" "$C/inb" "$C/tmp" "$C/newpkt" "$C/bad" || die "cannot make the directories"
  netmail=$N/netmail
  stored=""
  packet=""

  cp "$quenfar" "$N/bin/quenfar" || die "cannot copy quenfar"
  cat > "$N/bin/quenfar.cfg" << EOF
[QUENFAR]
Inbound    = $N/inbound
Fileecho   = $N/files
Logfile    = $N/quenfar.log
NetmailDir = $netmail
FTNAddress = 2:5020/2
UserName   = Sysop
EOF

  local highwater=""
  [ "$mode" = highwater ] && highwater=MSG_HIGHWATER
  cat > "$C/crashmail.prefs" << EOF
SYSOP "Crash Sysop"
LOGFILE "$C/crashmail.log"
LOGLEVEL 6
DUPEFILE "$C/dupes" 200
DUPEMODE BAD
DEFAULTZONE 2
INBOUND "$C/inb"
OUTBOUND "$C/outb"
TEMPDIR "$C/tmp"
CREATEPKTDIR "$C/newpkt"
PACKETDIR "$C/outb"
STATSFILE "$C/stats"
FORCEINTL
$highwater
AKA 2:5020/1
DOMAIN "FidoNet"
NODE 2:5020/2 "" ""
ROUTE "2:5020/2" "2:5020/2" 2:5020/1
NETMAIL "NETMAIL" 2:5020/1 MSG "$netmail"
AREA "BAD" 2:5020/1 MSG "$C/bad"
EOF
}

crashmail_run() {
  say "\$ crashmail $*" >> "$C/console.out"
  timeout 60 crashmail SETTINGS "$C/crashmail.prefs" "$@" >> "$C/console.out" 2>&1
}

show_logs() {
  local f
  for f in "$C/console.out" "$N/quenfar.log" "$work/stored.txt" "$work/packet.txt"; do
    [ -s "$f" ] || continue
    say "----- $f"
    tail -n 80 "$f"
  done
  if [ -n "$msgdump" ] && [ -x "$msgdump" ] && [ -n "${stored:-}" ] && [ -f "$stored" ]; then
    say "----- msgdump $stored"
    "$msgdump" "$stored"
  fi
  [ -f "${packet:-}" ] && { say "----- $packet"; od -A x -t x1z "$packet" | head -n 40; }
}

# toss NAME: quenfar tosses the file NAME of area NODEDIFF and announces it.
toss() {
  printf 'Nodelist difference, day 045\r\n' > "$N/inbound/$1"
  printf 'Area NODEDIFF\r\nFile %s\r\nDesc Nodelist difference\r\nOrigin 2:5020/1\r\n' "$1" \
    > "$N/inbound/$1.tic"
  say "quenfar: toss $1, announce it in $netmail"
  (cd "$N" && timeout 60 "$N/bin/quenfar") > "$work/quenfar.out" 2>&1
}

field() { sed -n "s/^$1=//p" "$2" | head -n 1; }
# attribute MESSAGE: the attribute word of the stored MESSAGE, decoded into stored.txt.
attribute() {
  python3 "$here/pktdecode.py" msg "$1" > "$work/stored.txt" 2>&1
  field attribute "$work/stored.txt"
}
# is_sent WORD: the attribute WORD has Sent, which crashmail sets on the messages it exports.
is_sent() { [ -n "$1" ] && (($1 & 0x0008)); }
# line_like FILE KEY REGEX: a "KEY=" line of FILE matches the extended REGEX (after the "=").
line_like() { grep -qE "^$2=$3\$" "$1"; }

started=$(date +%s%N)
for mode in highwater plain; do
  say "=== a fresh netmail directory, crashmail $([ "$mode" = highwater ] && echo with || echo without) MSG_HIGHWATER"
  setup "$mode"

  # --- quenfar tosses one file and stores its announcement ---------------------------------
  before=$(date +%s)
  toss NODEDIFF.A45
  after=$(date +%s)
  stored=$netmail/2.msg
  [ -f "$stored" ] || { show_logs; die "quenfar stored no announcement as 2.msg"; }
  check "[$mode] quenfar left 1.msg of the fresh directory alone" test ! -e "$netmail/1.msg"
  python3 "$here/pktdecode.py" msg "$stored" > "$work/stored.txt" ||
    { show_logs; die "the stored announcement does not decode"; }

  # --- crashmail exports it into a packet ----------------------------------------------------
  say "crashmail: SCAN exports the announcement"
  crashmail_run SCAN
  crashmail_rc=$?
  packet=$C/outb/139c0002.out
  [ -f "$packet" ] || { show_logs; die "crashmail wrote no netmail packet for 2:5020/2 ($packet)"; }
  decode_rc=0
  python3 "$here/pktdecode.py" pkt "$packet" > "$work/packet.txt" 2> "$work/decode.err" ||
    decode_rc=$?

  # --- checks ---------------------------------------------------------------------------------
  P=$work/packet.txt
  created_hex=$(sed -n 's/^m1\.line=\\x01MSGID: 2:5020\/2\.0 \([0-9a-f]\{8\}\)$/\1/p' "$P" | head -n 1)
  created=$((16#${created_hex:-0}))
  datetime=$(field m1.datetime "$P")

  say "checking the packet"
  check "crashmail SCAN succeeded (exit code $crashmail_rc)" test "$crashmail_rc" -eq 0
  check "the packet decodes: 58-byte header, packed messages, zero word at the end $(cat "$work/decode.err")" \
    test "$decode_rc" -eq 0
  check "packet from 2:5020/1 to 2:5020/2" \
    eval 'has_line "$P" "pkt.orig=2:5020/1" && has_line "$P" "pkt.dest=2:5020/2"'
  check "one message, nothing after the packet's end" \
    eval 'has_line "$P" "messages=1" && has_line "$P" "trailing_bytes=0"'
  check "message from 5020/2 to 5020/2" \
    eval 'has_line "$P" "m1.orig=5020/2" && has_line "$P" "m1.dest=5020/2"'
  check "message attribute keeps Private ($(field m1.attribute "$P"))" \
    eval '(( $(field m1.attribute "$P") & 0x0001 ))'

  say "checking the packed DateTime ($(field m1.datetime_field "$P"))"
  check "DateTime is 19 characters and a NUL" has_line "$P" "m1.datetime_len=19"
  check "DateTime reads DD MMM YY  HH:MM:SS" line_like "$P" 'm1\.datetime' \
    '[0-3][0-9] (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{2}  [0-2][0-9]:[0-5][0-9]:[0-5][0-9]'
  check "DateTime is the message's creation time (MSGID $created_hex)" \
    test -n "$created_hex" -a "$datetime" = "$(date -d "@$created" '+%d %b %y  %H:%M:%S')"
  check "the creation time lies within quenfar's run" \
    test "$created" -ge "$before" -a "$created" -le "$after"
  check "the stored message has the same DateTime, 19 characters" \
    eval 'has_line "$work/stored.txt" "datetime_len=19" && test "$(field datetime "$work/stored.txt")" = "$datetime"'

  say "checking the names, subject and text behind the DateTime"
  check "to-name: Sysop" has_line "$P" "m1.to=Sysop"
  check "from-name: Quenfar Herald" has_line "$P" "m1.from=Quenfar Herald"
  check "subject: Announce at $(date -d "@$created" '+%B %d, %Y')" \
    has_line "$P" "m1.subject=Announce at $(date -d "@$created" '+%B %d, %Y')"
  check "text: INTL 2:5020/2 2:5020/2" has_line "$P" 'm1.line=\x01INTL 2:5020/2 2:5020/2'
  check "text: MSGID with the creation time" test -n "$created_hex"
  check "text: the file's block" eval '
    has_line "$P" "m1.line==== NODEDIFF.A45 ==========" &&
    has_line "$P" "m1.line=Fileecho   : NODEDIFF" &&
    has_line "$P" "m1.line=Description: Nodelist difference" &&
    has_line "$P" "m1.line=File size  : 30" &&
    has_line "$P" "m1.line=Hatched by : 2:5020/1" &&
    has_line "$P" "m1.line=Full path  : $N/files/NODEDIFF/NODEDIFF.A45" &&
    has_line "$P" "m1.line=$(printf "=%.0s" {1..27})"'
  check "text: File proceded 1" has_line "$P" "m1.line=File proceded 1"

  say "checking the stored message after the export"
  word=$(attribute "$stored")
  check "crashmail marked it Sent ($word)" is_sent "$word"

  # --- the next announcement, with crashmail's high-water mark in 1.msg ---------------------
  if [ "$mode" = highwater ]; then
    say "checking a second announcement behind crashmail's high-water mark"
    check "crashmail wrote its high-water mark, 1.msg" test -f "$netmail/1.msg"
    cp -p "$netmail/1.msg" "$work/highwater.msg" 2> /dev/null
    toss NODEDIFF.A46
    stored=$netmail/3.msg
    check "quenfar stored the second announcement as 3.msg" test -f "$stored"
    check "quenfar left crashmail's 1.msg as it was" cmp -s "$netmail/1.msg" "$work/highwater.msg"
    crashmail_run SCAN
    word=$(attribute "$stored")
    check "crashmail SCAN exported 3.msg (marked Sent: $word)" is_sent "$word"
    check "the packet holds the second announcement" \
      eval 'python3 "$here/pktdecode.py" pkt "$packet" | grep -qxF "m2.line==== NODEDIFF.A46 =========="'

    # The sysop deletes the exported announcements: gaps up to crashmail's mark (3), which the
    # next message must not fill, or SCAN would never export it.
    say "checking an announcement after 2.msg and 3.msg, up to the high-water mark, are deleted"
    rm -f "$netmail/2.msg" "$netmail/3.msg"
    cp -p "$netmail/1.msg" "$work/highwater.msg" 2> /dev/null
    toss NODEDIFF.A47
    stored=$netmail/4.msg
    check "quenfar stored the third announcement as 4.msg, above the mark" test -f "$stored"
    check "quenfar left the gaps at 2.msg and 3.msg" test ! -e "$netmail/2.msg" -a ! -e "$netmail/3.msg"
    check "quenfar left crashmail's 1.msg as it was" cmp -s "$netmail/1.msg" "$work/highwater.msg"
    crashmail_run SCAN
    word=$(attribute "$stored")
    check "crashmail SCAN exported 4.msg (marked Sent: $word)" is_sent "$word"
    check "the packet holds all three announcements" \
      eval 'python3 "$here/pktdecode.py" pkt "$packet" > "$work/all.txt" &&
        grep -qxF "m1.line==== NODEDIFF.A45 ==========" "$work/all.txt" &&
        grep -qxF "m2.line==== NODEDIFF.A46 ==========" "$work/all.txt" &&
        grep -qxF "m3.line==== NODEDIFF.A47 ==========" "$work/all.txt"'
  else
    check "1.msg is still not there (crashmail without the option writes none)" \
      test ! -e "$netmail/1.msg"
  fi
  if [ "$failures" -ne 0 ]; then
    show_logs
    break
  fi
done
say "took $((($(date +%s%N) - started) / 1000000)) ms"
finish
