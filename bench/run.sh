#!/usr/bin/env bash
# Runs the benchmarks side by side with their peers and prints a table of medians, ratios and targets.
#
#   bench/run.sh BIN_DIR DATA_DIR [ROUNDS]
#
# Every line times the whole `quillon-run` process, as users run it: configured through hives and a drive
# map of the bench's own (nothing of the user's configuration is touched), console interface. The
# engine-only figures of quillon-bench-pass follow as extra lines.
#
# Trees are generated once into DATA_DIR (seeded: "mixed" about 1 GiB, "many" 100 000 small files,
# "many300" 300 000 small files) and kept for later runs. Before every timed copy, ours and the peer's
# alike, the old output is removed, the page cache is dropped and the source is read once, so that each
# copy starts from the same warm cache.
set -euo pipefail
bin=$(cd "$1" && pwd)
mkdir -p "$2"
data=$(cd "$2" && pwd)
rounds=${3:-3}

[ -d "$data/mixed" ] || { echo "generating the mixed tree ..."; "$bin/quillon-bench-tree" mixed "$data/mixed.tmp" && mv "$data/mixed.tmp" "$data/mixed"; }
[ -d "$data/many" ] || { echo "generating the many tree ..."; "$bin/quillon-bench-tree" many "$data/many.tmp" && mv "$data/many.tmp" "$data/many"; }
if [ ! -d "$data/many300" ]; then  # three "many" trees of different seeds side by side
    echo "generating the many300 tree ..."
    rm -rf "$data/many300.tmp"
    for seed in 1 2 3; do "$bin/quillon-bench-tree" many "$data/many300.tmp/part$seed" "$seed"; done
    mv "$data/many300.tmp" "$data/many300"
fi
mkdir -p "$data/empty"

reset_cache() {  # $1: the source to warm again
    sync
    echo 1 > /proc/sys/vm/drop_caches 2>/dev/null || true
    tar cf - -C "$1" . | cat > /dev/null  # tar reads no file contents when it writes to /dev/null itself
}
# Runs a command with its output discarded; prints its wall time in seconds and the peak resident size
# in KiB of its largest process (the command runs as a child of a small Python wrapper).
measure() {
    python3 - "$@" <<'PY'
import resource, subprocess, sys, time
start = time.monotonic()
code = subprocess.call(sys.argv[1:], stdout=subprocess.DEVNULL)
seconds = time.monotonic() - start
if code != 0:
    sys.stderr.write("exit code %d: %s\n" % (code, " ".join(sys.argv[1:])))
print("%.3f %d" % (seconds, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))
PY
}
seconds() { measure "$@" | awk '{ print $1 }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

win() { printf 'Z:%s' "${1//\//\\\\}"; }  # a native path as the registry writes it: Z:\\home\\...
# configure NAME SOURCE DEST FLAGS: a configuration of one path in $data/cfg/NAME (hives and drive map);
# calling it again with other flags changes only the flags.
configure() {
    local cfg=$data/cfg/$1
    mkdir -p "$cfg/dosdevices" "$cfg/drive_c"
    [ -e "$cfg/dosdevices/z:" ] || ln -s / "$cfg/dosdevices/z:"
    [ -e "$cfg/dosdevices/c:" ] || ln -s "$cfg/drive_c" "$cfg/dosdevices/c:"  # stages compressed sets
    cat > "$cfg/path.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Norrow\\Quillon\\Path000]
"SourcePath"="$(win "$2")"
"DestPath"="$(win "$3")"
"Flags"=dword:$(printf '%08x' "$4")
REG
    QUILLON_DRIVES=$cfg/dosdevices QUILLON_USER_HIVE=$cfg/user.hive QUILLON_MACHINE_HIVE=$cfg/machine.hive \
        "$bin/quillon-reg" import "$cfg/path.reg" > /dev/null
}
# quillon NAME: the command line of a whole quillon-run process with the configuration NAME.
quillon() {
    local cfg=$data/cfg/$1
    echo env -u QUILLON_TRACE QUILLON_DRIVES="$cfg/dosdevices" QUILLON_USER_HIVE="$cfg/user.hive" \
        QUILLON_MACHINE_HIVE="$cfg/machine.hive" QUILLON_UI=console "$bin/quillon-run"
}
# Full backups scheduled; no write protection, no archive-bit reset (as cp -a leaves the source).
plain=$((0x20))
record_only=$((0x20 | 0x400))
compress=$((0x20 | 0x800))

# fresh NAME SOURCE FLAGS: a configuration whose destination and run state start empty.
fresh() {
    rm -rf "$data/cfg/$1" "$out/$1"
    configure "$1" "$2" "$out/$1" "$3"
}
# nochange NAME SOURCE: records SOURCE without copying, then times a plain pass that finds no change;
# prints "seconds KiB".
nochange() {
    fresh "$1" "$2" "$record_only"
    $(quillon "$1") > /dev/null
    configure "$1" "$2" "$out/$1" "$plain"
    reset_cache "$2"
    measure $(quillon "$1")
}

declare -A results
add() { results[$1]+="$2"$'\n'; }

out=$data/out
for round in $(seq "$rounds"); do
    echo "round $round of $rounds ..." >&2
    # Full plain backup of "mixed" against cp -a, and against cp -a followed by sync.
    rm -rf "$out"; mkdir -p "$out"; fresh full "$data/mixed" "$plain"; reset_cache "$data/mixed"
    add full_ours "$(seconds $(quillon full))"
    rm -rf "$out"; mkdir -p "$out"; reset_cache "$data/mixed"
    add full_cp "$(seconds cp -a "$data/mixed" "$out/copy")"
    rm -rf "$out"; mkdir -p "$out"; reset_cache "$data/mixed"
    add full_cp_sync "$(seconds sh -c "cp -a '$data/mixed' '$out/copy' && sync")"
    rm -rf "$out"; mkdir -p "$out"; reset_cache "$data/mixed"
    add full_engine "$("$bin/quillon-bench-pass" "$data/mixed" "$out/dest" | awk '{ print $1 }')"

    # Full compressed backup of "mixed" (staging, packing, flushing every archive) against zip.
    rm -rf "$out"; mkdir -p "$out"; fresh zip "$data/mixed" "$compress"; reset_cache "$data/mixed"
    add zip_ours "$(seconds $(quillon zip))"
    add zip_ours_mb "$(du -sm "$out/zip" | awk '{ print $1 }')"
    reset_cache "$data/mixed"
    add zip_peer "$(seconds zip -r -q -6 "$out/peer.zip" "$data/mixed")"
    add zip_peer_mb "$(du -sm "$out/peer.zip" | awk '{ print $1 }')"

    # Restore of "mixed" from a plain full set against cp -a of the set, and from a compressed full set
    # against unzip of the same archives. The sets are made once per round, outside the timing.
    rm -rf "$out"; mkdir -p "$out"
    "$bin/quillon-bench-pass" "$data/mixed" "$out/plain" > /dev/null
    "$bin/quillon-bench-pass" "$data/mixed" "$out/zip" compress > /dev/null
    plain_set=$(ls -d "$out"/plain/2* | tail -n 1)
    reset_cache "$plain_set"
    add restore_plain "$(seconds "$bin/quillon-restore" restore "$out/plain" "$out/restored")"
    rm -rf "$out/restored"; reset_cache "$plain_set"
    add restore_cp "$(seconds cp -a "$plain_set" "$out/copied")"
    rm -rf "$out/copied"; reset_cache "$out/zip"
    add restore_zip "$(seconds "$bin/quillon-restore" restore "$out/zip" "$out/restored")"
    rm -rf "$out/restored"; reset_cache "$out/zip"
    add restore_unzip "$(seconds sh -c "for a in '$out'/zip/2*/QuillonData_*.Zip; do unzip -qo \"\$a\" -d '$out/unzipped'; done")"
    rm -rf "$out/unzipped"

    # A run over an empty source folder: what every run costs before any work.
    rm -rf "$out"; mkdir -p "$out"; fresh empty "$data/empty" "$plain"
    add empty_ours "$(seconds $(quillon empty))"

    # A pass over "many" that finds nothing to do, against a stat walk and rsync finding nothing; then
    # the same over three times as many files.
    rm -rf "$out"; mkdir -p "$out"
    read -r secs kib < <(nochange many "$data/many")
    add nochange_ours "$secs"; add nochange_kib "$kib"
    add nochange_find "$(seconds find "$data/many" -printf '%T@ %s %p\n')"
    rsync -a "$data/many/" "$out/mirror/"
    reset_cache "$data/many"
    add nochange_rsync "$(seconds rsync -a "$data/many/" "$out/mirror/")"
    rm -rf "$out"; mkdir -p "$out"
    read -r secs kib < <(nochange many300 "$data/many300")
    add scale_ours "$secs"; add scale_kib "$kib"
    rm -rf "$out"; mkdir -p "$out"
    "$bin/quillon-bench-pass" "$data/many" "$out/dest" record-only > /dev/null
    reset_cache "$data/many"
    add nochange_engine "$("$bin/quillon-bench-pass" "$data/many" "$out/dest" | awk '{ print $1 }')"
done
rm -rf "$out"

m() { printf '%s' "${results[$1]}" | median; }
ratio() { echo "$1 / $2" | bc -l | xargs printf '%.2f'; }
row() {  # label ours peer target
    printf '%-50s %8.2fs %8.2fs %7s  %s\n' "$1" "$2" "$3" "$(ratio "$2" "$3")" "$4"
}
many_files=100000
base_kib=$((16 * 1024))
per_file() { echo "($1 - $base_kib) * 1024 / $2" | bc; }  # bytes a tracked file above the fixed base
printf '\nwhole quillon-run process, medians of %s round(s)\n' "$rounds"
printf '%-50s %9s %9s %7s  %s\n' "measurement" "ours" "peer" "ratio" "target"
row "full plain backup of mixed vs cp -a" "$(m full_ours)" "$(m full_cp)" "<= 1.30"
row "  (the same vs cp -a followed by sync)" "$(m full_ours)" "$(m full_cp_sync)" "<= 1.00"
row "no-change pass over many vs find stat walk" "$(m nochange_ours)" "$(m nochange_find)" "<= 1.30"
row "no-change pass over many vs rsync -a" "$(m nochange_ours)" "$(m nochange_rsync)" "<= 0.50"
printf '%-50s %8.2fs %9s %7s  %s\n' "run over an empty source folder" "$(m empty_ours)" "" "" "<= 0.15s"
printf '%-50s %8.1fM %9s %7s  %s\n' "peak memory of the no-change pass over many" \
    "$(echo "$(m nochange_kib) / 1024" | bc -l)" "" "$(per_file "$(m nochange_kib)" $many_files)B/f" \
    "<= 16M + 400 bytes a file"
row "full compressed backup of mixed vs zip -r -6" "$(m zip_ours)" "$(m zip_peer)" "<= 0.60"
printf '%-50s %8sM %8sM %7s  %s\n' "  archive sizes" "$(m zip_ours_mb)" "$(m zip_peer_mb)" \
    "$(ratio "$(m zip_ours_mb)" "$(m zip_peer_mb)")" "<= 1.02"
row "no-change pass: 300 000 files vs 100 000, time" "$(m scale_ours)" "$(m nochange_ours)" "<= 3.30"
printf '%-50s %8.1fM %8.1fM %7s  %s\n' "no-change pass: 300 000 files vs 100 000, memory" \
    "$(echo "$(m scale_kib) / 1024" | bc -l)" "$(echo "$(m nochange_kib) / 1024" | bc -l)" \
    "$(ratio "$(m scale_kib)" "$(m nochange_kib)")" "<= 3.30"
row "restore of mixed from a plain set vs cp -a" "$(m restore_plain)" "$(m restore_cp)" "<= 1.20"
row "restore of mixed from archives vs unzip" "$(m restore_zip)" "$(m restore_unzip)" "<= 1.20"
printf '\nengine alone (quillon-bench-pass, in-process)\n'
row "full plain backup of mixed vs cp -a" "$(m full_engine)" "$(m full_cp)" ""
row "no-change pass over many vs find stat walk" "$(m nochange_engine)" "$(m nochange_find)" ""
