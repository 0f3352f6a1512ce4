#!/usr/bin/env bash
# The Debian package's test, run by CI after scripts/test.sh: builds the package
# (scripts/build-package.sh), installs it with apt-get as a user would, checks its
# fields and files, runs the installed programs without a display and the demo
# against the installed emulator and sample package, then removes the package so
# the machine is left as it was. As root (it installs a package).
# Exits 0 when every check passed.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
  echo "test-package.sh: run it as root: it installs and removes the package" >&2
  exit 1
fi
if dpkg-query -W -f='${Status}' qelt-updater 2>/dev/null | grep -q 'install ok installed'; then
  echo "test-package.sh: qelt-updater is installed already; remove it first" \
       "(apt-get remove qelt-updater)" >&2
  exit 1
fi

. scripts/lib/packages.sh
install_missing_packages "== " "test-package.sh: " desktop-file-utils groff-base

bash scripts/build-package.sh
deb=$(ls build-package/qelt-updater_*.deb)
version=$(dpkg-deb --field "$deb" Version)

failures=0
# check DESCRIPTION COMMAND...: runs COMMAND, prints "ok" or "FAIL" with DESCRIPTION.
check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok   $what"
  else
    echo "FAIL $what" >&2
    failures=$((failures + 1))
  fi
}
# Whether the command's output equals EXPECTED: same_output EXPECTED COMMAND...
same_output() {
  local expected=$1 actual
  shift
  actual=$("$@") || { echo "  $* failed with status $?" >&2; return 1; }
  [ "$actual" = "$expected" ] || { printf '  expected: %s\n  got:      %s\n' "$expected" "$actual" >&2; return 1; }
}
# Whether a compressed manual page renders without a warning.
man_page_renders() {
  local warnings
  warnings=$(zcat "$1" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)
  [ -z "$warnings" ] || { echo "$warnings" >&2; return 1; }
}
# Runs apt-get quietly; shows its output when it fails.
quiet_apt_get() {
  local log
  log=$(mktemp)
  if ! DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}
# The first line a command prints (all of its output is read: no broken pipe).
first_line() { "$@" | sed -n 1p; }
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)

echo "== The package $deb"
depends=$(dpkg-deb --field "$deb" Depends)
for runtime in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6serialport6; do
  check "it depends on $runtime" grep -qE "(^|, )$runtime( |,|$)" <<<"$depends"
done
check "it is named for its version and architecture" \
  test "$(basename "$deb")" = "qelt-updater_${version}_$(dpkg --print-architecture).deb"

echo "== Installing it"
removed=no
remove_package() {
  [ "$removed" = no ] || return 0
  removed=yes
  echo "== Removing it"
  quiet_apt_get remove qelt-updater
}
trap remove_package EXIT
quiet_apt_get install "./$deb"

echo "== The installed programs and files"
for program in qelt-update qelt-updater qelt-emulator qelt-make-package qelt-svf2eff; do
  check "/usr/bin/$program is installed" test -x "/usr/bin/$program"
  check "man page $program.1 renders" man_page_renders "/usr/share/man/man1/$program.1.gz"
done
check "qelt-update --version" same_output "qelt-update $version" "${no_display[@]}" qelt-update --version
check "qelt-updater --version without a display" \
  same_output "qelt-updater $version" "${no_display[@]}" qelt-updater --version
usage_line="Usage: qelt-updater [SCRIPT] [--port NAME | --udp HOST[:PORT] | --tcp HOST[:PORT]]"
check "qelt-updater --help without a display" \
  same_output "$usage_line" first_line "${no_display[@]}" qelt-updater --help
check "the desktop entry is valid" desktop-file-validate /usr/share/applications/qelt-updater.desktop
for size in 16 32 48 64 128 256; do
  check "the ${size}x$size icon" \
    grep -q "PNG image data, $size x $size," \
    <(file /usr/share/icons/hicolor/${size}x$size/apps/qelt-updater.png)
done
check "the sample package is complete" \
  qelt-make-package --check /usr/share/qelt-updater/examples/package
check "the sample package passes the package check" \
  qelt-update --check /usr/share/qelt-updater/examples/package/script.ini

echo "== The demo from the installed programs"
check "the installed demo completes" bash scripts/demo.sh --prefix /usr

remove_package
check "removing it removes the programs" test ! -e /usr/bin/qelt-update

if [ "$failures" -ne 0 ]; then
  echo "test-package.sh: $failures check(s) failed" >&2
  exit 1
fi
echo "== The package installs, works and uninstalls."
