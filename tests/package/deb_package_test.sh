#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks it without installing it
# (no root, no container): its control data and file list, the files unpacked with
# dpkg -x, the program run from the unpacked tree, and the maintainer scripts run
# against a private ODBC configuration, read back with odbcinst -q -d.
# Usage: deb_package_test.sh BUILD_DIR
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
expect_in() {  # TEXT PATTERN WHAT
  grep -qE -- "$2" <<<"$1" || fail "$3: no match for /$2/ in:"$'\n'"$1"
}

# The package, built into a folder of our own so no other cpack run is disturbed.
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb="$(ls "$work"/out/*.deb)"
echo "package: $(basename "$deb")"

# Control data: what apt-get install ./kestrin1_*.deb pulls in.
depends="$(dpkg-deb -f "$deb" Depends)"
for needed in unixodbc odbcinst tdsodbc 'libwxgtk3\.2-1' 'libodbcinst2'; do
  expect_in "$depends" "(^|, )$needed( |,|$)" "Depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = kestrin1 ] || fail "package name"
info="$(dpkg-deb -I "$deb")"
expect_in "$info" '\* +postinst' "postinst, executable"
expect_in "$info" '\* +prerm' "prerm, executable"

# apt resolves it: a simulated install of the file (nothing is changed).
if command -v apt-get >/dev/null; then
  simulated="$(apt-get -s -o Debug::NoLocking=1 install "$deb" 2>&1)" || fail "apt-get -s install: $simulated"
  expect_in "$simulated" '^Inst kestrin1 ' "simulated install"
fi

# Contents, unpacked.
dpkg-deb -c "$deb" >"$work/list"
dpkg -x "$deb" "$work/root"
root="$work/root"
for file in usr/bin/Kestrin1 usr/lib/odbc/libtalvoro-mdb.so usr/lib/odbc/libtalvoro-sqlsetup.so \
            usr/share/applications/kestrin1.desktop usr/share/icons/hicolor/scalable/apps/kestrin1.svg \
            usr/share/icons/hicolor/32x32/apps/kestrin1.png usr/share/icons/hicolor/16x16/apps/kestrin1.png \
            usr/share/man/man1/Kestrin1.1.gz usr/share/talvoro/help/index.html; do
  [ -s "$root/$file" ] || fail "missing or empty in the package: $file"
  grep -q "\./$file\$" "$work/list" || fail "not listed by dpkg-deb -c: $file"
done
[ -x "$root/usr/bin/Kestrin1" ] || fail "Kestrin1 is not executable"
desktop="$(cat "$root/usr/share/applications/kestrin1.desktop")"
expect_in "$desktop" '^Exec=Kestrin1$' "desktop entry"
expect_in "$desktop" '^Icon=kestrin1$' "desktop entry"
expect_in "$desktop" '^Type=Application$' "desktop entry"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/kestrin1.desktop" || fail "desktop-file-validate"
fi
man="$(zcat "$root/usr/share/man/man1/Kestrin1.1.gz")"
expect_in "$man" '^\.TH KESTRIN1 1' "manual page"
expect_in "$man" 'overwrite' "manual page"
expect_in "$man" 'KESTRIN1_PASSWORD' "manual page"

# The program from the unpacked tree: the command-line mode answers.
usage="$("$root/usr/bin/Kestrin1" --help)" || fail "Kestrin1 --help"
expect_in "$usage" '^Usage:' "Kestrin1 --help"

# The maintainer scripts against a private ODBC configuration.
dpkg-deb -e "$deb" "$work/control"
export ODBCSYSINI="$work/odbc" ODBCINI="$work/odbc/user.ini" HOME="$work/home"
mkdir -p "$ODBCSYSINI" "$HOME"
: >"$ODBCSYSINI/odbcinst.ini"
sh "$work/control/postinst" configure
drivers="$(odbcinst -q -d)"
expect_in "$drivers" '^\[Microsoft Access Driver \(\*\.mdb\)\]$' "registered drivers"
expect_in "$drivers" '^\[SQL Server\]$' "registered drivers"
access="$(odbcinst -q -d -n 'Microsoft Access Driver (*.mdb)')"
sqlserver="$(odbcinst -q -d -n 'SQL Server')"
for path in "$(sed -n 's/^Driver=//p' <<<"$access")" "$(sed -n 's/^Setup=//p' <<<"$access")" \
            "$(sed -n 's/^Setup=//p' <<<"$sqlserver")"; do
  [ -e "$root$path" ] || fail "a registration names $path, which the package does not install"
done
expect_in "$(sed -n 's/^Driver=//p' <<<"$sqlserver")" 'libtdsodbc\.so$' "SQL Server driver"
# Configuring again (an upgrade) does not count another user of the drivers.
sh "$work/control/postinst" configure
expect_in "$(odbcinst -q -d -n 'SQL Server')" '^UsageCount=1$' "usage count after reconfiguring"
sh "$work/control/prerm" upgrade
expect_in "$(odbcinst -q -d)" 'SQL Server' "an upgrade keeps the registrations"
sh "$work/control/prerm" remove
if odbcinst -q -d 2>/dev/null | grep -qE 'SQL Server|Microsoft Access Driver'; then
  fail "registrations left after removal: $(odbcinst -q -d)"
fi

# Someone else's "SQL Server" is neither replaced nor removed.
printf '[SQL Server]\nDriver=/opt/other/libother.so\nSetup=/opt/other/libothers.so\nUsageCount=1\n' \
  >"$ODBCSYSINI/odbcinst.ini"
sh "$work/control/postinst" configure 2>"$work/note"
expect_in "$(cat "$work/note")" 'another ODBC driver named "SQL Server"' "note about a foreign driver"
sh "$work/control/prerm" remove
expect_in "$(odbcinst -q -d -n 'SQL Server')" 'libother\.so' "a foreign SQL Server entry"
echo "PASS"
