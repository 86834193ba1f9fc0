#!/usr/bin/env bash
# quillon-run on a real X display: a virtual one from xvfb-run. The program must choose the desktop's
# dialogs by itself (DISPLAY set, QUILLON_UI unset), show them on the display, run the backup to its
# end and quit on its own; then run on the console to the end with no display at all, with a
# display that cannot be opened, and without the desktop program it hands over to on a display.
#
#   display_run.sh BIN_DIR
# Exit status 0 when every check passed, 77 (skipped) when xvfb-run is not installed.
set -euo pipefail
bin=$(cd "$1" && pwd)
if ! command -v xvfb-run >/dev/null || ! command -v xauth >/dev/null; then
  echo "skipped: xvfb-run or xauth is missing (scripts/install-deps.sh installs xvfb and xauth)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/dosdevices" "$work/c/Data"
ln -s "$work/c" "$work/dosdevices/c:"
ln -s / "$work/dosdevices/z:"
export QUILLON_DRIVES=$work/dosdevices QUILLON_USER_HIVE=$work/user.hive QUILLON_MACHINE_HIVE=$work/machine.hive
export QUILLON_TRACE=$work/trace XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$work/runtime"
# The sanitizer build: leaks of the desktop's own libraries are not ours.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
unset QUILLON_UI WAYLAND_DISPLAY QT_QPA_PLATFORM
printf 'offer' >"$work/c/Data/offer.txt"
key='HKCU\Software\Norrow\Quillon'
"$bin/quillon-reg" add "$key\\Path000" /v SourcePath /d 'C:\Data' /f >/dev/null
"$bin/quillon-reg" add "$key\\Path000" /v DestPath /d 'C:\Backup' /f >/dev/null
"$bin/quillon-reg" add "$key\\Path000" /v Flags /t REG_DWORD /d 6 /f >/dev/null

fail() {
  echo "FAILED: $*"
  echo "--- trace:"
  cat -v "$work/trace" 2>/dev/null || true
  exit 1
}
last_status() { "$bin/quillon-reg" query "$key\\DynData" /v LastRunStatus | grep -o '0x[0-9a-f]*'; }

# The run ends by itself two seconds after the backup; the time limit only guards against a hang.
timeout 120 xvfb-run -a -s '-screen 0 1024x768x24' "$bin/quillon-run" || fail "exit status $? on the display"
LC_ALL=C grep -aq '^Oberfl.che: Desktop (xcb)$' "$work/trace" || fail "the desktop's dialogs were not used"
[ "$(last_status)" = 0x0 ] || fail "LastRunStatus $(last_status) after the run on the display, not 0"
[ -f "$work/c/Backup/$(date +%Y-%m-%d)/offer.txt" ] || fail "offer.txt was not backed up"

# Without a display: the console, again to the end, saving the file changed meanwhile.
rm "$work/trace"
printf 'changed' >"$work/c/Data/offer.txt"
touch -d '+1 hour' "$work/c/Data/offer.txt"
env -u DISPLAY timeout 120 "$bin/quillon-run" </dev/null >"$work/out" 2>&1 || fail "exit status $? without a display"
grep -aq 'Desktop' "$work/trace" && fail "the desktop was chosen without a display"
grep -q '1 file has been saved' "$work/out" || fail "no console summary: $(cat "$work/out")"
[ "$(last_status)" = 0x0 ] || fail "LastRunStatus $(last_status) after the console run, not 0"

# A display that is named but cannot be opened: the console again, where Qt would end the program.
rm "$work/trace"
DISPLAY=:1999 timeout 120 "$bin/quillon-run" </dev/null >"$work/out" 2>&1 || fail "exit status $? with a dead display"
grep -aq 'Konsole statt Desktop' "$work/trace" || fail "no fallback to the console: $(cat "$work/out")"
grep -q 'No changed file found' "$work/out" || fail "the console run did not end: $(cat "$work/out")"

# The console program alone, without the desktop program beside it: the console, not a failed start.
mkdir "$work/alone"
cp "$bin/quillon-run" "$bin/libib-zip.so" "$work/alone/"
rm "$work/trace"
DISPLAY=:1999 timeout 120 "$work/alone/quillon-run" </dev/null >"$work/out" 2>&1 || fail "exit status $? alone"
grep -aq 'quillon-run-desktop nicht startbar' "$work/trace" || fail "no fallback without the desktop program"
grep -q 'No changed file found' "$work/out" || fail "the run alone did not end: $(cat "$work/out")"
echo "passed"
