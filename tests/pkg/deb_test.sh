#!/bin/sh
# The Debian package from end to end: builds it with CPack and checks what it holds; then,
# as root, installs it with dpkg, tosses a sample node with the installed program and the
# shipped settings and lists, checks that the settings are a conffile, and purges the
# package, leaving the system as it was.
#
#   sh deb_test.sh BUILD_DIR SOURCE_DIR
#
# Exit status 77 means skipped: not root, no dpkg, or a quenfar package (or its files)
# already on this system, which the test must not touch.
set -eu

build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
skip() {
  echo "SKIP: $*"
  exit 77
}
step() { echo "== $*"; }

for tool in cpack dpkg-deb; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quenfar-deb.XXXXXX")
installed=0
cleanup() {
  if [ "$installed" = 1 ]; then
    dpkg --purge quenfar >/dev/null 2>&1 || echo "cleanup: dpkg --purge quenfar failed" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

# ---------------------------------------------------------------- the package itself
step "building the package"
rm -f "$build"/quenfar_*.deb
# CPack builds the project's preinstall target with make; the make that may have started
# this test must not hand its job server down to it.
if ! (cd "$build" && env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL cpack -G DEB) \
  >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack -G DEB failed"
fi
set -- "$build"/quenfar_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "cpack made no single quenfar_*.deb: $*"
deb=$1
version=$(dpkg-deb -f "$deb" Version)
echo "$(basename "$deb")"

step "control fields and conffiles"
[ "$(dpkg-deb -f "$deb" Package)" = quenfar ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Section)" = net ] || fail "section is not net"
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "Depends does not name libc6"
[ "$(dpkg-deb -I "$deb" conffiles)" = /etc/quenfar/quenfar.cfg ] ||
  fail "conffiles is not exactly /etc/quenfar/quenfar.cfg"

step "contents"
dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' \
  >"$work/contents"
for entry in \
  "./usr/bin/quenfar -> ../lib/quenfar/quenfar" \
  "./usr/lib/quenfar/quenfar" \
  "./usr/lib/quenfar/quenfar.cfg -> /etc/quenfar/quenfar.cfg" \
  "./etc/quenfar/quenfar.cfg" \
  "./usr/share/man/man1/quenfar.1.gz" \
  "./usr/share/doc/quenfar/copyright" \
  "./usr/share/doc/quenfar/README.md"; do
  grep -qxF "$entry" "$work/contents" || fail "the package lacks $entry"
done
for example in quenfar.cfg areas.lst events.lst binkd-exec.cfg crontab quenfar.service \
  quenfar.timer logrotate; do
  grep -qxF "./usr/share/doc/quenfar/examples/$example" "$work/contents" ||
    fail "the package lacks the example $example"
done
if grep -v -e '^\./etc/' -e '^\./usr/' "$work/contents" | grep -q .; then
  fail "files outside /etc and /usr: $(grep -v -e '^\./etc/' -e '^\./usr/' "$work/contents")"
fi

root="$work/root"
dpkg-deb -x "$deb" "$root"
cmp -s "$root/etc/quenfar/quenfar.cfg" "$source/doc/examples/quenfar.cfg" ||
  fail "/etc/quenfar/quenfar.cfg is not doc/examples/quenfar.cfg"
if command -v readelf >/dev/null 2>&1 &&
  readelf -S "$root/usr/lib/quenfar/quenfar" | grep -q '\.symtab'; then
  fail "the packaged program is not stripped"
fi
[ "$("$root/usr/lib/quenfar/quenfar" --version)" = "quenfar $version" ] ||
  fail "quenfar --version does not print \"quenfar $version\""

step "man page"
man_page="$root/usr/share/man/man1/quenfar.1.gz"
gzip -dc "$man_page" | head -n 5 | grep -q "^\.TH QUENFAR 1 .*\"quenfar $version\"" ||
  fail "the man page's .TH line does not name quenfar $version"
if command -v groff >/dev/null 2>&1; then
  gzip -dc "$man_page" | groff -man -ww -z >"$work/groff.log" 2>&1 || true
  if [ -s "$work/groff.log" ]; then
    cat "$work/groff.log" >&2
    fail "groff warns about the man page"
  fi
fi

# ---------------------------------------------------------------- installed with dpkg
[ "$(id -u)" -eq 0 ] || skip "installing the package needs root (the checks above passed)"
command -v dpkg >/dev/null 2>&1 || skip "dpkg is not installed"
if command -v flock >/dev/null 2>&1; then
  exec 9>"${TMPDIR:-/tmp}/quenfar-deb-test.lock"
  flock -n 9 || skip "another run of this test holds the package"
fi
status=$(dpkg-query -W -f='${db:Status-Status}' quenfar 2>/dev/null || true)
if [ -n "$status" ] && [ "$status" != not-installed ]; then
  skip "a quenfar package is on this system (status: $status); it is left alone"
fi
for path in /usr/bin/quenfar /usr/lib/quenfar /etc/quenfar /var/log/quenfar; do
  if [ -e "$path" ] || [ -L "$path" ]; then
    skip "$path exists on this system; it is left alone"
  fi
done

step "dpkg -i"
installed=1
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 </dev/null || {
  cat "$work/dpkg.log" >&2
  fail "dpkg -i failed"
}
[ "$(readlink /usr/bin/quenfar)" = ../lib/quenfar/quenfar ] || fail "/usr/bin/quenfar link"
[ -f /usr/lib/quenfar/quenfar ] && [ ! -L /usr/lib/quenfar/quenfar ] &&
  [ -x /usr/lib/quenfar/quenfar ] || fail "/usr/lib/quenfar/quenfar is no program"
[ "$(readlink /usr/lib/quenfar/quenfar.cfg)" = /etc/quenfar/quenfar.cfg ] ||
  fail "/usr/lib/quenfar/quenfar.cfg link"
[ -f /etc/quenfar/quenfar.cfg ] || fail "/etc/quenfar/quenfar.cfg is missing"
dpkg-query -W -f='${Conffiles}\n' quenfar | grep -q '^ /etc/quenfar/quenfar.cfg ' ||
  fail "dpkg does not hold /etc/quenfar/quenfar.cfg as a conffile"
# Some minimal images tell dpkg to leave out man pages.
[ -f /usr/share/man/man1/quenfar.1.gz ] ||
  grep -rqs 'path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d/ ||
  fail "the man page is not installed"
[ -d /var/log/quenfar ] || fail "postinst made no /var/log/quenfar"
cp -p /etc/quenfar/quenfar.cfg "$work/quenfar.cfg.shipped"

# ---------------------------------------------------------------- a sample node
# The shipped settings and example lists, every key that is left off switched on, and the
# Debian paths moved into the sample node; so a key the program does not know, or a list
# line it reads otherwise than its comments say, shows here.
step "tossing a sample node with /usr/bin/quenfar"
node="$work/node"
mkdir -p "$node/spool/inb" "$node/spool/netmail" "$node/spool/flags" "$node/log" "$node/etc"
relocate() {
  sed -e "s|/var/spool/ftn|$node/spool|g" -e "s|/srv/ftn|$node/srv|g" \
    -e "s|/var/log/quenfar|$node/log|g" -e "s|/etc/quenfar|$node/etc|g" "$@"
}
relocate -e 's/^;\([A-Za-z][A-Za-z]*[ ]*=\)/\1/' "$work/quenfar.cfg.shipped" \
  >/etc/quenfar/quenfar.cfg
examples=/usr/share/doc/quenfar/examples
[ -d "$examples" ] || examples="$source/doc/examples"
relocate "$examples/areas.lst" >"$node/etc/areas.lst"
relocate "$examples/events.lst" >"$node/etc/events.lst"

crlf() { printf '%s\r\n' "$@"; }
crlf "Area NODEDIFF" "File NODEDIFF.A45" "Desc Nodelist difference, day 345" \
  "Origin 2:5020/1" >"$node/spool/inb/a0001.tic"
printf 'diff\n' >"$node/spool/inb/NODEDIFF.A45"
crlf "Area NEWFILES" "File TOOL.ZIP" "Desc A small tool" "Origin 2:5020/1" \
  >"$node/spool/inb/a0002.tic"
printf 'tool\n' >"$node/spool/inb/tool.zip"

# From another directory: nothing may depend on where the run starts.
rc=0
(cd / && /usr/bin/quenfar) >"$work/out" 2>"$work/err" || rc=$?
cat "$work/out" "$work/err"
[ "$rc" -eq 0 ] || fail "quenfar exited with $rc"
! grep -q 'Warning' "$work/out" "$work/err" || fail "quenfar warned about the shipped setup"

nodelist="$node/srv/pub/nodelist"
newfiles="$node/srv/files/NEWFILES"
[ "$(cat "$nodelist/NODEDIFF.A45")" = diff ] || fail "NODEDIFF.A45 is not in its listed area"
[ "$(cat "$newfiles/TOOL.ZIP")" = tool ] || fail "TOOL.ZIP is not in Fileecho/NEWFILES"
[ "$(cat "$nodelist/files.bbs")" = "$(crlf 'NODEDIFF.A45  Nodelist difference, day 345')" ] ||
  fail "files.bbs of the nodelist area: $(od -c "$nodelist/files.bbs")"
[ "$(cat "$newfiles/files.bbs")" = "$(crlf 'TOOL.ZIP      A small tool')" ] ||
  fail "files.bbs of NEWFILES: $(od -c "$newfiles/files.bbs")"
[ -z "$(ls -A "$node/spool/inb")" ] || fail "the inbound is not empty: $(ls -A "$node/spool/inb")"
[ -f "$node/spool/tics/a0001.tic" ] && [ -f "$node/spool/tics/a0002.tic" ] ||
  fail "the .tic files are not in TICDir"
grep -q 'NODEDIFF.A45 ---> NODEDIFF' "$node/log/quenfar.log" || fail "no move line in the log"
[ -f "$node/spool/flags/newfiles.flg" ] || fail "the %FLG% event made no flag"
[ -f "$node/spool/netmail/2.msg" ] || fail "no announcement in NetmailDir"

# ---------------------------------------------------------------- conffile and purge
step "reinstalling keeps the changed settings"
cp /etc/quenfar/quenfar.cfg "$work/quenfar.cfg.changed"
dpkg -i --force-confold "$deb" >"$work/dpkg.log" 2>&1 </dev/null || {
  cat "$work/dpkg.log" >&2
  fail "dpkg -i again failed"
}
cmp -s /etc/quenfar/quenfar.cfg "$work/quenfar.cfg.changed" ||
  fail "reinstalling replaced the changed /etc/quenfar/quenfar.cfg"
cp -p "$work/quenfar.cfg.shipped" /etc/quenfar/quenfar.cfg

step "dpkg --purge"
dpkg --purge quenfar >"$work/dpkg.log" 2>&1 </dev/null || {
  cat "$work/dpkg.log" >&2
  fail "dpkg --purge failed"
}
installed=0
for path in /usr/bin/quenfar /usr/lib/quenfar /etc/quenfar /var/log/quenfar \
  /usr/share/doc/quenfar /usr/share/man/man1/quenfar.1.gz; do
  if [ -e "$path" ] || [ -L "$path" ]; then
    fail "$path is still there after the purge"
  fi
done
echo "deb_install: all checks passed"
