#!/usr/bin/env bash
# check_package.sh BUILD_DIR: builds the .deb of BUILD_DIR, unpacks it into a
# temporary root and checks what it installs.
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=("$work"/out/larimo_*.deb)
[ -f "${deb[0]}" ] || fail "no package in $work/out"

# Dependencies: computed ones (Qt, libusb) and the fonts and translations.
depends="$(dpkg-deb -f "${deb[0]}" Depends)"
for p in libqt6widgets6 libusb-1.0-0 fonts-ipafont-gothic fonts-ipafont-mincho \
  qt6-translations-l10n; do
  [[ "$depends" == *"$p"* ]] || fail "Depends lacks $p: $depends"
done

root="$work/root"
dpkg -x "${deb[0]}" "$root"
usr="$root/usr"
[ ! -e "$usr/bin/libBrisko.so" ] || fail "device library in bin/"
grep -q 'TAG+="uaccess"' "$root/usr/lib/udev/rules.d/70-brisko.rules" || fail "udev rule"

# The programs run from the unpacked root without a display and bind the
# private copies of the device library.
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
# grep reads the whole text (no -q): a reader that leaves early would end the
# program by SIGPIPE, which pipefail counts as a failure.
"$usr/bin/larimo-cli" --help | grep '^usage: larimo-cli' >/dev/null || fail "larimo-cli --help"
"$usr/bin/larimo" --help | grep -- '--simulate' >/dev/null || fail "larimo --help"
[ "$("$usr/bin/larimo" --library-path)" = "$usr/lib/larimo/libBrisko.so" ] ||
  fail "larimo binds $("$usr/bin/larimo" --library-path)"
[ "$("$usr/bin/larimo" --simulate --library-path)" = "$usr/lib/larimo/libBriskoSim.so" ] ||
  fail "larimo --simulate binds another library"

desktop-file-validate "$usr/share/applications/com.dravel.larimo.desktop"
appstreamcli validate --no-net "$usr/share/metainfo/com.dravel.larimo.metainfo.xml"
[ -f "$usr/share/icons/hicolor/scalable/apps/com.dravel.larimo.svg" ] || fail "icon"
for page in larimo larimo-cli; do
  zcat "$usr/share/man/man1/$page.1.gz" >"$work/$page.1" || fail "man page $page"
  grep -q 'help' "$work/$page.1" || fail "man page $page"
done

# Debian's checker: no error and no warning.
lintian --fail-on error,warning "${deb[0]}" ||
  fail "lintian reports the package"
[ -f "$usr/share/doc/larimo/copyright" ] || fail "copyright"
zcat "$usr/share/doc/larimo/changelog.Debian.gz" >"$work/changelog" || fail "changelog.Debian.gz"
[[ "$(head -1 "$work/changelog")" == "larimo ($(dpkg-deb -f "${deb[0]}" Version))"* ]] ||
  fail "changelog.Debian.gz names another version"

# The recorder's user service: installed, and accepted by systemd where its
# checker can run (it needs a runtime folder; the program it starts is the
# unpacked one).
unit="$usr/lib/systemd/user/larimo-record@.service"
[ -f "$unit" ] || fail "larimo-record@.service not installed"
grep -q '^ExecStart=/usr/bin/larimo-cli record ' "$unit" || fail "the service runs no recorder"
[ -f "$usr/share/doc/larimo/examples/record-rig1.conf" ] || fail "example of an instance file"
if command -v systemd-analyze >/dev/null 2>&1; then
  mkdir -m 700 "$work/runtime" "$work/units"
  sed "s|/usr/bin/larimo-cli|$usr/bin/larimo-cli|" "$unit" >"$work/units/larimo-record@rig1.service"
  if XDG_RUNTIME_DIR="$work/runtime" systemd-analyze verify --user --man=no \
    "$work/units/larimo-record@rig1.service" >"$work/verify.log" 2>&1; then
    [ ! -s "$work/verify.log" ] || { cat "$work/verify.log"; fail "systemd-analyze verify"; }
  elif grep -q -e 'Failed to initialize manager' -e 'RuntimeDirectory' "$work/verify.log"; then
    echo "skipped: systemd-analyze verify cannot run here: $(head -1 "$work/verify.log")"
  else
    cat "$work/verify.log"
    fail "systemd-analyze verify"
  fi
else
  echo "skipped: systemd-analyze verify (no systemd-analyze)"
fi

# Where udev is absent the install scripts still succeed.
dpkg-deb -e "${deb[0]}" "$work/control"
PATH=/nonexistent /bin/sh "$work/control/postinst" configure || fail "postinst without udev"
PATH=/nonexistent /bin/sh "$work/control/postrm" remove || fail "postrm without udev"
echo "ok: $(basename "${deb[0]}")"
