#!/bin/sh
# The Debian package from end to end: builds it with CPack and checks what it holds (its
# fields, its programs' hardening, that the service, the examples and the binkd drop-in
# name the same directories, and that the service is sandboxed no worse than binkd's);
# then, as root and only when asked for (CI=true or QUENFAR_TEST_INSTALL=1), installs it with dpkg, tosses a sample node with the installed program and
# the shipped settings and lists, reads the announcement with quenfar-msgdump, checks the
# conffiles, the log directory's owner and the service (run by systemd where systemd runs,
# verified otherwise), and purges the package, leaving the system as it was and a sysop's
# files where they were.
#
#   sh deb_test.sh BUILD_DIR SOURCE_DIR
#
# Exit status 77 means skipped: not asked to install, not root, no dpkg, or a quenfar
# package (or its files) already on this system, which the test must not touch.
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
sysop_file=""
unit_node=""
cleanup() {
  if [ -n "$unit_node" ]; then
    rm -rf /run/systemd/system/quenfar.service /run/systemd/system/quenfar.service.d \
      "$unit_node"
    systemctl daemon-reload >/dev/null 2>&1 || true
  fi
  if [ "$installed" = 1 ]; then
    dpkg --purge quenfar >/dev/null 2>&1 || echo "cleanup: dpkg --purge quenfar failed" >&2
  fi
  if [ -n "$sysop_file" ]; then
    rm -f "$sysop_file"
    rmdir /var/log/quenfar 2>/dev/null || true
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
dpkg-deb -f "$deb" Homepage | grep -q '^https://' || fail "no https Homepage"
dpkg-deb -f "$deb" Maintainer | grep -q '<[^@>]*@[^@>]*\.[^@>]*>$' ||
  fail "the Maintainer has no mail address with a domain: $(dpkg-deb -f "$deb" Maintainer)"
# Every description line fits 80 columns, the package manager's indent included.
if dpkg-deb -f "$deb" Description | awk 'length > 80 { bad = 1 } END { exit !bad }'; then
  fail "a description line is longer than 80 characters"
fi
[ "$(dpkg-deb -I "$deb" conffiles)" = "$(printf '%s\n' /etc/quenfar/quenfar.cfg \
  /etc/logrotate.d/quenfar)" ] ||
  fail "conffiles is not exactly /etc/quenfar/quenfar.cfg and /etc/logrotate.d/quenfar"
[ "$(dpkg-deb -I "$deb" triggers)" = "interest-noawait /usr/sbin/binkd" ] ||
  fail "no trigger on binkd's program"

step "contents"
dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' \
  >"$work/contents"
for entry in \
  "./usr/bin/quenfar -> ../lib/quenfar/quenfar" \
  "./usr/bin/quenfar-msgdump" \
  "./usr/lib/quenfar/quenfar" \
  "./usr/lib/quenfar/quenfar.cfg -> /etc/quenfar/quenfar.cfg" \
  "./etc/quenfar/quenfar.cfg" \
  "./etc/logrotate.d/quenfar" \
  "./usr/share/man/man1/quenfar.1.gz" \
  "./usr/share/man/man1/quenfar-msgdump.1.gz" \
  "./usr/share/doc/quenfar/copyright" \
  "./usr/share/doc/quenfar/changelog.gz" \
  "./usr/share/lintian/overrides/quenfar" \
  "./usr/share/doc/quenfar/README.md"; do
  grep -qxF "$entry" "$work/contents" || fail "the package lacks $entry"
done
for example in quenfar.cfg areas.lst events.lst binkd-exec.cfg crontab quenfar.service \
  quenfar.timer logrotate; do
  grep -qxF "./usr/share/doc/quenfar/examples/$example" "$work/contents" ||
    fail "the package lacks the example $example"
done
if grep -v -e '^\./$' -e '^\./etc/' -e '^\./usr/' "$work/contents" | grep -q .; then
  fail "files outside /etc and /usr: $(grep -v -e '^\./etc/' -e '^\./usr/' "$work/contents")"
fi

root="$work/root"
dpkg-deb -x "$deb" "$root"
cmp -s "$root/etc/quenfar/quenfar.cfg" "$source/doc/examples/quenfar.cfg" ||
  fail "/etc/quenfar/quenfar.cfg is not doc/examples/quenfar.cfg"
cmp -s "$root/etc/logrotate.d/quenfar" "$source/doc/examples/logrotate" ||
  fail "/etc/logrotate.d/quenfar is not doc/examples/logrotate"
if command -v readelf >/dev/null 2>&1; then
  for program in usr/lib/quenfar/quenfar usr/bin/quenfar-msgdump; do
    readelf -S "$root/$program" >"$work/sections"
    if grep -q '\.symtab' "$work/sections"; then
      fail "the packaged $program is not stripped"
    fi
    if grep -q '\.comment' "$work/sections"; then
      fail "the packaged $program keeps the compiler's .comment"
    fi
    readelf -d "$root/$program" | grep -q 'BIND_NOW\|FLAGS_1.* NOW' ||
      fail "$program does not bind its symbols at start (-z now)"
    readelf -l "$root/$program" | grep -q 'GNU_RELRO' ||
      fail "$program has no read-only relocations (-z relro)"
  done
fi
[ "$("$root/usr/lib/quenfar/quenfar" --version)" = "quenfar $version" ] ||
  fail "quenfar --version does not print \"quenfar $version\""
[ "$("$root/usr/bin/quenfar-msgdump" --version)" = "quenfar-msgdump $version" ] ||
  fail "quenfar-msgdump --version does not print \"quenfar-msgdump $version\""

# Installed-Size is what the files take, in KiB; counting each link with its target's size
# and each directory as 4 KiB gave nearly twice that.
installed_size=$(dpkg-deb -f "$deb" Installed-Size)
taken=$(du -sk "$root" | cut -f1)
echo "Installed-Size $installed_size KiB, du -sk $taken KiB"
[ $((installed_size * 10)) -ge $((taken * 9)) ] &&
  [ $((installed_size * 10)) -le $((taken * 11)) ] ||
  fail "Installed-Size is $installed_size KiB, the files take $taken KiB"

step "changelog"
changelog_head=$(gzip -dc "$root/usr/share/doc/quenfar/changelog.gz" | head -n 1)
case "$changelog_head" in
  "quenfar ($version) "*) ;;
  *) fail "the changelog's first entry is not version $version: $changelog_head" ;;
esac

step "man pages"
for page in quenfar quenfar-msgdump; do
  man_page="$root/usr/share/man/man1/$page.1.gz"
  title=$(echo "$page" | tr '[:lower:]' '[:upper:]')
  gzip -dc "$man_page" | head -n 5 | grep -q "^\.TH $title 1 .*\"quenfar $version\"" ||
    fail "the .TH line of $page.1 does not name quenfar $version"
  if command -v groff >/dev/null 2>&1; then
    gzip -dc "$man_page" | groff -man -ww -z >"$work/groff.log" 2>&1 || true
    if [ -s "$work/groff.log" ]; then
      cat "$work/groff.log" >&2
      fail "groff warns about $page.1"
    fi
  fi
done

# ---------------------------------------------------------------- the service and binkd
# The systemd unit, the binkd drop-in (example, README and man page), the shipped settings
# and the area list agree: the unit may write where binkd with the drop-in may, and every
# directory that the settings and the area list name lies below one of those.
step "the unit, the binkd drop-in and the examples name the same directories"
examples="$root/usr/share/doc/quenfar/examples"
unit="$examples/quenfar.service"
# The values of the KEY= lines of FILE, one a line, without the '-' that lets a missing
# directory pass and without a trailing '/'.
unit_values() {
  sed -n "s/^$1=//p" "$2" | tr ' ' '\n' | sed -e 's/^-//' -e 's|/$||' | grep . || true
}
{
  unit_values ReadWritePaths "$unit"
  unit_values LogsDirectory "$unit" | sed 's|^|/var/log/|'
} | sort -u >"$work/unit.paths"
dropin=$(sed -n 's/^#[ ]*\(ReadWritePaths=.*\)$/\1/p' "$examples/binkd-exec.cfg")
[ -n "$dropin" ] || fail "binkd-exec.cfg shows no ReadWritePaths= drop-in"
grep -qxF "    $dropin" "$source/README.md" || fail "the README's binkd drop-in is not \"$dropin\""
sed 's/\\-/-/g' "$source/doc/quenfar.1" | grep -qxF "$dropin" ||
  fail "the man page's binkd drop-in is not \"$dropin\""
binkd_unit=""
for candidate in /lib/systemd/system/binkd.service /usr/lib/systemd/system/binkd.service; do
  if [ -f "$candidate" ]; then
    binkd_unit=$candidate
    break
  fi
done
echo "$dropin" >"$work/dropin"
{
  unit_values ReadWritePaths "$work/dropin"
  # What Debian's binkd.service lets binkd write itself, but for binkd's own log.
  if [ -n "$binkd_unit" ]; then
    unit_values ReadWritePaths "$binkd_unit" | grep -vx /var/log/binkd || true
  else
    echo /var/spool/ftn
  fi
} | sort -u >"$work/binkd.paths"
cmp -s "$work/unit.paths" "$work/binkd.paths" ||
  fail "quenfar.service may write $(tr '\n' ' ' <"$work/unit.paths")but binkd with the drop-in $(tr '\n' ' ' <"$work/binkd.paths")"
{
  sed -n 's/^;*\(Inbound\|Fileecho\|TICDir\|FlagsDir\|NetmailDir\)[ ]*=[ ]*//p' \
    "$examples/quenfar.cfg"
  sed -n 's/^;*Logfile[ ]*=[ ]*//p' "$examples/quenfar.cfg" | sed 's|/[^/]*$||'
  grep -v '^;' "$examples/areas.lst" | sed -n 's/^[^ =]*[ =][ =]*//p'
} >"$work/named.paths"
[ "$(wc -l <"$work/named.paths")" -ge 8 ] ||
  fail "too few directories read from the examples: $(cat "$work/named.paths")"
while read -r named; do
  below=0
  while read -r writable; do
    case "$named/" in "$writable"/*) below=1 ;; esac
  done <"$work/unit.paths"
  [ "$below" = 1 ] || fail "$named (examples) lies below no directory that the unit may write"
done <"$work/named.paths"

# No more exposed than Debian's binkd.service, which Debian 12's systemd rates 1.8.
if command -v systemd-analyze >/dev/null 2>&1 &&
  systemd-analyze security --offline=yes "$unit" >"$work/security" 2>&1; then
  step "systemd-analyze security --offline=yes"
  exposure() { sed -n 's/^.*Overall exposure level for [^:]*: \([0-9.]*\) .*$/\1/p' "$1"; }
  ours=$(exposure "$work/security")
  theirs=1.8
  if [ -n "$binkd_unit" ] &&
    systemd-analyze security --offline=yes "$binkd_unit" >"$work/binkd-security" 2>&1; then
    theirs=$(exposure "$work/binkd-security")
  fi
  echo "exposure: quenfar.service $ours, binkd.service $theirs"
  [ -n "$ours" ] && awk -v a="$ours" -v b="$theirs" 'BEGIN { exit !(a <= b) }' ||
    fail "quenfar.service is exposed ${ours:-?}, binkd.service $theirs"
fi

# ---------------------------------------------------------------- installed with dpkg
# Installing into the running system is done only when asked for: on a sysop's own node
# the test must not touch what is installed.
if [ "${CI:-}" != true ] && [ "${QUENFAR_TEST_INSTALL:-}" != 1 ]; then
  skip "the checks above passed; installing the package into this system, tossing with it and purging it runs only when asked: QUENFAR_TEST_INSTALL=1 make test (as root)"
fi
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
for path in /usr/bin/quenfar /usr/bin/quenfar-msgdump /usr/lib/quenfar /etc/quenfar \
  /etc/logrotate.d/quenfar /var/log/quenfar; do
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
dpkg-query -W -f='${Conffiles}\n' quenfar | grep -q '^ /etc/logrotate.d/quenfar ' ||
  fail "dpkg does not hold /etc/logrotate.d/quenfar as a conffile"
[ -x /usr/bin/quenfar-msgdump ] || fail "/usr/bin/quenfar-msgdump is no program"
# Some minimal images tell dpkg to leave out man pages.
[ -f /usr/share/man/man1/quenfar.1.gz ] ||
  grep -rqs 'path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d/ ||
  fail "the man page is not installed"
[ -d /var/log/quenfar ] || fail "postinst made no /var/log/quenfar"
cp -p /etc/quenfar/quenfar.cfg "$work/quenfar.cfg.shipped"

# binkd's user gets the log directory whether binkd came first or comes later: then its
# program activates the package's trigger, as dpkg-trigger does here.
if getent passwd ftn >/dev/null 2>&1 && getent group ftn >/dev/null 2>&1; then
  step "the log directory is ftn's, also when binkd comes after quenfar"
  [ "$(stat -c %U:%G /var/log/quenfar)" = ftn:ftn ] ||
    fail "/var/log/quenfar is $(stat -c %U:%G /var/log/quenfar)'s, not ftn:ftn's"
  chown root:root /var/log/quenfar
  if ! { dpkg-trigger --no-await /usr/sbin/binkd &&
    dpkg --triggers-only quenfar; } >"$work/dpkg.log" 2>&1 </dev/null; then
    cat "$work/dpkg.log" >&2
    fail "the trigger on /usr/sbin/binkd did not run"
  fi
  [ "$(stat -c %U:%G /var/log/quenfar)" = ftn:ftn ] ||
    fail "after the trigger /var/log/quenfar is $(stat -c %U:%G /var/log/quenfar)'s"
else
  [ "$(stat -c %u:%g /var/log/quenfar)" = 0:0 ] || fail "/var/log/quenfar is not root's"
fi
if command -v logrotate >/dev/null 2>&1; then
  logrotate -d /etc/logrotate.d/quenfar >"$work/logrotate.log" 2>&1 || {
    cat "$work/logrotate.log" >&2
    fail "logrotate refuses /etc/logrotate.d/quenfar"
  }
fi

# ---------------------------------------------------------------- a sample node
# The shipped settings and example lists, every key that is left off switched on, and the
# Debian paths moved into the sample node; so a key the program does not know, or a list
# line it reads otherwise than its comments say, shows here.
step "tossing a sample node with /usr/bin/quenfar"
node="$work/node"
mkdir -p "$node/spool/inb" "$node/spool/netmail" "$node/spool/flags" "$node/log" "$node/etc"
# relocate_to DIR SED-ARGS...: the Debian paths of the examples moved below DIR.
relocate_to() {
  target=$1
  shift
  sed -e "s|/var/spool/ftn|$target/spool|g" -e "s|/srv/ftn|$target/srv|g" \
    -e "s|/var/log/quenfar|$target/log|g" -e "s|/etc/quenfar|$target/etc|g" "$@"
}
relocate() { relocate_to "$node" "$@"; }
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
[ ! -e "$node/spool/netmail/1.msg" ] ||
  fail "the announcement took 1.msg, the high-water mark of the netmail tossers"
/usr/bin/quenfar-msgdump "$node/spool/netmail/2.msg" >"$work/msgdump.out" ||
  fail "quenfar-msgdump cannot read the announcement"
grep -q '^From *: Quenfar Herald$' "$work/msgdump.out" &&
  grep -q '^=== NODEDIFF.A45 ' "$work/msgdump.out" ||
  fail "quenfar-msgdump shows no announcement: $(cat "$work/msgdump.out")"

# ---------------------------------------------------------------- the service
if [ -d /run/systemd/system ] && command -v systemctl >/dev/null 2>&1 &&
  getent passwd ftn >/dev/null 2>&1 && [ ! -e /etc/systemd/system/quenfar.service ] &&
  [ ! -e /run/systemd/system/quenfar.service ]; then
  # The unit as shipped, started by systemd, on a node that it may write: outside /tmp,
  # which is the unit's own, and added by a drop-in, as a sysop adds areas elsewhere.
  step "systemd runs quenfar.service on a sample node"
  unit_node=$(mktemp -d /var/lib/quenfar-unit-test.XXXXXX)
  chmod 755 "$unit_node"
  mkdir -p "$unit_node/spool/inb" "$unit_node/spool/netmail" "$unit_node/spool/flags" \
    "$unit_node/log" "$unit_node/etc"
  relocate_to "$unit_node" -e 's/^;\([A-Za-z][A-Za-z]*[ ]*=\)/\1/' \
    "$work/quenfar.cfg.shipped" >/etc/quenfar/quenfar.cfg
  relocate_to "$unit_node" "$examples/areas.lst" >"$unit_node/etc/areas.lst"
  relocate_to "$unit_node" "$examples/events.lst" >"$unit_node/etc/events.lst"
  crlf "Area NODEDIFF" "File NODEDIFF.A46" "Desc Nodelist difference, day 346" \
    "Origin 2:5020/1" >"$unit_node/spool/inb/a0003.tic"
  printf 'diff\n' >"$unit_node/spool/inb/NODEDIFF.A46"
  chown -R ftn:ftn "$unit_node"
  install -m 0644 "$examples/quenfar.service" /run/systemd/system/quenfar.service
  mkdir -p /run/systemd/system/quenfar.service.d
  printf '[Service]\nReadWritePaths=%s\n' "$unit_node" \
    >/run/systemd/system/quenfar.service.d/node.conf
  systemctl daemon-reload
  if ! systemctl start quenfar.service; then
    systemctl status quenfar.service >&2 || true
    fail "systemctl start quenfar.service failed"
  fi
  [ -f "$unit_node/srv/pub/nodelist/NODEDIFF.A46" ] ||
    fail "the unit's run did not toss NODEDIFF.A46 into its listed area"
  [ -f "$unit_node/spool/netmail/2.msg" ] || fail "the unit's run stored no announcement"
  rm -rf /run/systemd/system/quenfar.service /run/systemd/system/quenfar.service.d \
    "$unit_node"
  unit_node=""
  systemctl daemon-reload
  relocate -e 's/^;\([A-Za-z][A-Za-z]*[ ]*=\)/\1/' "$work/quenfar.cfg.shipped" \
    >/etc/quenfar/quenfar.cfg
elif command -v systemd-analyze >/dev/null 2>&1; then
  # Without systemd to run it, the unit and its timer are loaded as systemd would load
  # them, with the installed program.
  step "systemd-analyze verify quenfar.service quenfar.timer"
  cp "$examples/quenfar.service" "$examples/quenfar.timer" "$work/"
  if ! systemd-analyze verify --man=no "$work/quenfar.service" "$work/quenfar.timer" \
    >"$work/verify.log" 2>&1 || [ -s "$work/verify.log" ]; then
    cat "$work/verify.log" >&2
    fail "systemd-analyze verify complains about the unit"
  fi
fi

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

# Purge removes the logs that quenfar and logrotate write, and their directory only when
# nothing else is in it.
step "dpkg --purge keeps the sysop's file in /var/log/quenfar"
printf 'log\n' >/var/log/quenfar/quenfar.log
printf 'old\n' | gzip -c >/var/log/quenfar/quenfar.log.2.gz
sysop_file=/var/log/quenfar/notes.txt
printf 'the sysop\n' >"$sysop_file"
dpkg --purge quenfar >"$work/dpkg.log" 2>&1 </dev/null || {
  cat "$work/dpkg.log" >&2
  fail "dpkg --purge failed"
}
installed=0
[ "$(cat "$sysop_file" 2>/dev/null)" = "the sysop" ] || fail "the purge removed the sysop's file"
[ "$(ls -A /var/log/quenfar)" = notes.txt ] ||
  fail "the purge left in /var/log/quenfar: $(ls -A /var/log/quenfar)"
[ ! -e /etc/logrotate.d/quenfar ] || fail "/etc/logrotate.d/quenfar is still there after the purge"
rm -f "$sysop_file"
rmdir /var/log/quenfar
sysop_file=""

step "dpkg -i, a log, dpkg --purge: nothing stays"
installed=1
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 </dev/null || {
  cat "$work/dpkg.log" >&2
  fail "dpkg -i after the purge failed"
}
printf 'log\n' >/var/log/quenfar/quenfar.log
dpkg --purge quenfar >"$work/dpkg.log" 2>&1 </dev/null || {
  cat "$work/dpkg.log" >&2
  fail "dpkg --purge failed"
}
installed=0
for path in /usr/bin/quenfar /usr/bin/quenfar-msgdump /usr/lib/quenfar /etc/quenfar \
  /etc/logrotate.d/quenfar /var/log/quenfar /usr/share/doc/quenfar \
  /usr/share/man/man1/quenfar.1.gz /usr/share/man/man1/quenfar-msgdump.1.gz; do
  if [ -e "$path" ] || [ -L "$path" ]; then
    fail "$path is still there after the purge"
  fi
done
echo "deb_install: all checks passed"
