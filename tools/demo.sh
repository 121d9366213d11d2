#!/bin/sh
# Builds a fresh sample node under BUILD/demo, runs one tossing run in it and shows the result.
set -eu
BUILD=${1:-build}
DEMO="$(cd "$BUILD" && pwd)/demo"
rm -rf "$DEMO"
mkdir -p "$DEMO/bin" "$DEMO/inbound" "$DEMO/files" "$DEMO/pub/nodelist" "$DEMO/netmail" \
  "$DEMO/flags"
cp "$BUILD/quenfar" "$DEMO/bin/quenfar"

crlf() { printf '%s\r\n' "$@"; }

cat > "$DEMO/bin/quenfar.cfg" <<CFG
; quenfar.cfg of the demo node
[QUENFAR]
Inbound    = $DEMO/inbound
Fileecho   = $DEMO/files
Logfile    = $DEMO/quenfar.log
TICDir     = $DEMO/tics
FlagsDir   = $DEMO/flags
NetmailDir = $DEMO/netmail
FTNAddress = 2:5020/9999.0
UserName   = Demo Sysop
ProcessTime = 10
CutSymbols = 30

[INCLUDE]
AreaPath = areas.lst
Events   = events.lst
CFG

crlf "; area tag, then its directory" "NODELIST = $DEMO/pub/nodelist" > "$DEMO/bin/areas.lst"
crlf "; area mask, file mask, command" \
  "* * %FLG%newfiles.flg" \
  "NODELIST NODELIST.* $DEMO/bin/unpack.sh" > "$DEMO/bin/events.lst"
cat > "$DEMO/bin/unpack.sh" <<'SH'
#!/bin/sh
# A demo event command: records the full path and the name it was given.
echo "unpack.sh got: $1 | $2" >> "$(dirname "$0")/../events.out"
SH
chmod +x "$DEMO/bin/unpack.sh"

# An area whose description list existed before the run.
mkdir -p "$DEMO/files/UTILS"
crlf "OLDTOOL.ZIP   An older tool" "ARJ.EXE       The old archiver" "              (continued)" \
  > "$DEMO/files/UTILS/files.bbs"

crlf "Area NODELIST" "File NODELIST.Z45" "Desc Weekly nodelist, day 345" \
  "Origin 2:5020/1" "From 2:5020/1" "Crc 1A2B3C4D" > "$DEMO/inbound/a0001.tic"
printf 'nodelist data\n' > "$DEMO/inbound/nodelist.z45"
crlf "Area UTILS" "File ARJ.EXE" "Desc  ARJ archiver 2.86 * the newest *  " \
  "Origin 2:5020/1" > "$DEMO/inbound/a0002.tic"
printf 'arj binary\n' > "$DEMO/inbound/ARJ.EXE"
crlf "Area GAMES" "File TETRIS.ZIP" "Desc Falling blocks | freeware" \
  "Origin 2:463/7" > "$DEMO/inbound/a0003.TIC"
printf 'tetris\n' > "$DEMO/inbound/TETRIS.ZIP"
crlf "Area GAMES" "File LATE.ZIP" "Desc Its file has not arrived yet" > "$DEMO/inbound/a0004.tic"

echo "=== The sample node's configuration (bin/quenfar.cfg)"
cat "$DEMO/bin/quenfar.cfg"
echo
echo "=== Area path list (bin/areas.lst)"
cat "$DEMO/bin/areas.lst"
echo
echo "=== Events list (bin/events.lst)"
cat "$DEMO/bin/events.lst"
echo
echo "=== The inbound before the run"
(cd "$DEMO" && ls -l inbound)
echo
echo "=== Console of the run"
(cd "$DEMO" && ./bin/quenfar)
echo
echo "=== Files after the run"
(cd "$DEMO" && find inbound files pub tics flags netmail -type f | sort)
echo "(a0004.tic waits in the inbound: its file LATE.ZIP has not arrived yet)"
echo
echo "=== The log (quenfar.log)"
cat "$DEMO/quenfar.log"
for list in "$DEMO/files/UTILS/files.bbs" "$DEMO/files/GAMES/files.bbs" \
  "$DEMO/pub/nodelist/files.bbs"; do
  if [ -f "$list" ]; then
    echo
    echo "=== ${list#"$DEMO"/}"
    cat "$list"
  fi
done
if [ -f "$DEMO/events.out" ]; then
  echo
  echo "=== What the event command received"
  cat "$DEMO/events.out"
fi
for message in "$DEMO"/netmail/*.msg; do
  [ -f "$message" ] || continue
  echo
  echo "=== Netmail ${message#"$DEMO"/}"
  if [ -x "$BUILD/msgdump" ]; then "$BUILD/msgdump" "$message"; else od -c "$message" | head -40; fi
done
echo
echo "=== Checking the settings without tossing (./bin/quenfar --check)"
"$DEMO/bin/quenfar" --check || true
echo
echo "The sample node is in $DEMO; run ./bin/quenfar there again to see a second run."
