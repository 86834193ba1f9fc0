#!/usr/bin/env bash
# The demo of `make run`: a small source tree, a configuration of its own (hives and drive map in
# build/demo, nothing of the user's touched), two backup runs with a change in between, and what they
# left behind.
#
#   scripts/demo.sh BIN_DIR DEMO_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
demo=$2
rm -rf "$demo"
mkdir -p "$demo/dosdevices" "$demo/drive_c" "$demo/source/Letters" "$demo/source/Photos" "$demo/backup"
demo=$(cd "$demo" && pwd)
ln -s "$demo/drive_c" "$demo/dosdevices/c:"  # C:\Temp\QuilRun\ stages the compressed sets
ln -s / "$demo/dosdevices/z:"
export QUILLON_DRIVES=$demo/dosdevices
export QUILLON_USER_HIVE=$demo/user.hive
export QUILLON_MACHINE_HIVE=$demo/machine.hive
export QUILLON_UI=console
unset QUILLON_TRACE

step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
win() { printf 'Z:%s' "${1//\//\\\\}"; }  # a native path as the registry writes it: Z:\\home\\...

step "A source tree, last changed yesterday"
printf 'Dear Sir or Madam,\r\nplease find our offer enclosed.\r\n' > "$demo/source/Letters/offer.txt"
printf 'Minutes of the meeting\r\n' > "$demo/source/Letters/minutes.txt"
head -c 200000 /dev/urandom > "$demo/source/Photos/holiday.jpg"
printf 'scratch\r\n' > "$demo/source/Letters/draft.tmp"
touch -d 'yesterday 10:00' "$demo"/source/*/*
(cd "$demo/source" && find . -type f | sort)

step "The configuration: two source paths, one plain and one compressed (demo.reg)"
cat > "$demo/demo.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Norrow\\Quillon\\Path000]
"SourcePath"="$(win "$demo/source/Letters")"
"DestPath"="$(win "$demo/backup/Letters")"
"Flags"=dword:00000020
"Exclude000"="*.tmp"

[HKEY_CURRENT_USER\\Software\\Norrow\\Quillon\\Path001]
"SourcePath"="$(win "$demo/source/Photos")"
"DestPath"="$(win "$demo/backup/Photos")"
"Flags"=dword:00000820
REG
cat "$demo/demo.reg"
"$bin/quillon-reg" import "$demo/demo.reg"

step "First run: every file is new, so each path gets a full set"
"$bin/quillon-run"

step "A change today: offer.txt is edited"
printf 'Dear Sir or Madam,\r\nplease find our revised offer enclosed.\r\n' > "$demo/source/Letters/offer.txt"

step "Second run: only the changed file is copied, into today's set"
"$bin/quillon-run"

step "What the backups hold"
(cd "$demo/backup" && find . | sort)
step "The plain path's control file (backup/Letters/Quillon.txt)"
cat "$demo/backup/Letters/Quillon.txt"
step "The compressed path's first archive"
unzip -l "$(find "$demo/backup/Photos" -name 'QuillonData_000.Zip' | head -n 1)"
step "The run state stored for the first path"
"$bin/quillon-reg" query 'HKCU\Software\Norrow\Quillon\Path000'
printf '\nThe demo lives in %s; run it again with `make run`.\n' "$demo"
