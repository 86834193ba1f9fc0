#!/usr/bin/env bash
# Installs the build into a temporary folder (DESTDIR) and runs the programs from there: quillon-reg
# writes a configuration with a plain and a compressed path into hives of the test's own, quillon-run
# started through the bin link backs both up, so the compression library must be found in the
# installed private folder. Then the uninstall leaves nothing behind, not even the folders it made.
#
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

root=$work/root
prefix=$root/usr
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
[ "$(readlink "$prefix/bin/quillon-run")" = ../lib/quillon/quillon-run ] || fail "bin/quillon-run link"
[ "$(readlink "$prefix/bin/quillon-restore")" = ../lib/quillon/quillon-restore ] || fail "bin/quillon-restore link"
for f in bin/quillon-reg bin/quillon-config lib/quillon/quillon-run{,-desktop} lib/quillon/libib-zip.so \
         lib/quillon/quillon-run.html share/man/man1/quillon-{run,reg,restore,config}.1 \
         lib/systemd/user/quillon-run{.service,.timer,-daily.service} \
         share/applications/quillon-run.desktop share/quillon/autostart/quillon-run.desktop; do
  [ -f "$prefix/$f" ] || fail "$f not installed"  # -f follows the help document's link
done
if command -v groff >/dev/null; then
  warnings=$(groff -man -Tutf8 -ww "$prefix"/share/man/man1/*.1 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man pages: $warnings"
fi

# The configuration and the data, all below the work folder.
mkdir -p "$work/dosdevices" "$work/drive_c" "$work/src/Plain/sub" "$work/src/Packed"
ln -s "$work/drive_c" "$work/dosdevices/c:"
ln -s / "$work/dosdevices/z:"
export QUILLON_DRIVES=$work/dosdevices QUILLON_USER_HIVE=$work/user.hive
export QUILLON_MACHINE_HIVE=$work/machine.hive QUILLON_UI=console
unset QUILLON_TRACE QUILLON_IBZIP
echo letter > "$work/src/Plain/sub/letter.txt"
echo photo > "$work/src/Packed/photo.jpg"
win() { printf 'Z:%s' "${1//\//\\}"; }
key='HKCU\Software\Norrow\Quillon'
reg() { "$prefix/bin/quillon-reg" "$@" >/dev/null; }
for path in Path000:Plain:0x20 Path001:Packed:0x820; do
  IFS=: read -r number name flags <<<"$path"
  reg add "$key\\$number" /v SourcePath /d "$(win "$work/src/$name")" /f
  reg add "$key\\$number" /v DestPath /d "$(win "$work/backup/$name")" /f
  reg add "$key\\$number" /v Flags /t REG_DWORD /d "$flags" /f
done

output=$("$prefix/bin/quillon-run" 2>&1) || fail "quillon-run ended with $?: $output"
grep -q "2 files have been saved." <<<"$output" || fail "no summary in: $output"
! grep -q "IB-ZIP" <<<"$output" || fail "compression library not found: $output"
set_dir=$(find "$work/backup/Plain" -mindepth 1 -maxdepth 1 -type d)
cmp -s "$work/src/Plain/sub/letter.txt" "$set_dir/sub/letter.txt" || fail "plain copy missing"
[ -f "$work/backup/Plain/Quillon.txt" ] || fail "control file missing"
archive=$(find "$work/backup/Packed" -name QuillonData_000.Zip)
[ "$(unzip -p "$archive" photo.jpg)" = photo ] || fail "no archive 000 with photo.jpg"
# quillon-restore, started through its bin link, finds the library for the compressed set.
"$prefix/bin/quillon-restore" restore "$work/backup/Packed" "$work/restored" >/dev/null ||
  fail "quillon-restore ended with $?"
cmp -s "$work/src/Packed/photo.jpg" "$work/restored/photo.jpg" || fail "photo.jpg not restored"

# An installed program keeps its error log in the user's state folder, never in the package's folder.
export XDG_STATE_HOME=$work/state
reg add "$key\\Path000" /v DestPath /d "$(win "$prefix/bin/quillon-reg/below-a-file")" /f
"$prefix/bin/quillon-run" >/dev/null 2>&1 || true
grep -q 'below-a-file' "$work/state/quillon/QuillonRun.Log" || fail "error log not in the state folder"
[ ! -e "$prefix/lib/quillon/QuillonRun.Log" ] || fail "error log written into the program's folder"

DESTDIR=$root cmake -DMANIFEST="$build/install_manifest.txt" -P "$source_dir/cmake/Uninstall.cmake" >/dev/null
[ ! -e "$root" ] || fail "left after uninstall: $(find "$root")"
echo "installed, ran and uninstalled from $prefix"
