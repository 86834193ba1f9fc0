#!/usr/bin/env bash
# Runs the benchmarks side by side with their peers and prints a table of medians and ratios.
#
#   bench/run.sh BIN_DIR DATA_DIR [ROUNDS]
#
# Trees are generated once into DATA_DIR (seeded, about 1.3 GiB in all) and kept for later runs.
# Before every timed copy, ours and the peer's alike, the old output is removed, the page cache is
# dropped and the source is read once, so that each copy starts from the same warm cache.
set -euo pipefail
bin=$1
data=$2
rounds=${3:-3}
mkdir -p "$data"

[ -d "$data/mixed" ] || { echo "generating the mixed tree ..."; "$bin/quillon-bench-tree" mixed "$data/mixed.tmp" && mv "$data/mixed.tmp" "$data/mixed"; }
[ -d "$data/many" ] || { echo "generating the many tree ..."; "$bin/quillon-bench-tree" many "$data/many.tmp" && mv "$data/many.tmp" "$data/many"; }

reset_cache() {  # $1: the source to warm again
    sync
    echo 1 > /proc/sys/vm/drop_caches 2>/dev/null || true
    tar cf - -C "$1" . > /dev/null
}
seconds() {  # runs a command, prints its wall time in seconds
    local start end
    start=$(date +%s.%N)
    "$@" > /dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A results
add() { results[$1]+="$2"$'\n'; }

out=$data/out
for round in $(seq "$rounds"); do
    echo "round $round of $rounds ..." >&2
    # Full plain backup of "mixed" against cp -a.
    rm -rf "$out"; mkdir -p "$out"; reset_cache "$data/mixed"
    add full_ours "$(seconds "$bin/quillon-bench-pass" "$data/mixed" "$out/dest")"
    rm -rf "$out"; mkdir -p "$out"; reset_cache "$data/mixed"
    add full_cp "$(seconds cp -a "$data/mixed" "$out/copy")"
    rm -rf "$out"; mkdir -p "$out"; reset_cache "$data/mixed"
    add full_cp_sync "$(seconds sh -c "cp -a '$data/mixed' '$out/copy' && sync")"

    # Full compressed backup of "mixed" (staging copy, packing, flushing every archive) against zip.
    rm -rf "$out"; mkdir -p "$out"; reset_cache "$data/mixed"
    add zip_ours "$(seconds "$bin/quillon-bench-pass" "$data/mixed" "$out/dest" compress)"
    rm -rf "$out"; mkdir -p "$out"; reset_cache "$data/mixed"
    add zip_peer "$(seconds zip -r -q -6 "$out/peer.zip" "$data/mixed")"

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

    # A pass over "many" that finds nothing to do, against a stat walk and rsync finding nothing.
    rm -rf "$out"; mkdir -p "$out"
    "$bin/quillon-bench-pass" "$data/many" "$out/dest" record-only > /dev/null
    rsync -a "$data/many/" "$out/mirror/"
    reset_cache "$data/many"
    line=$("$bin/quillon-bench-pass" "$data/many" "$out/dest")
    add nochange_ours "$(echo "$line" | awk '{ print $1 }')"
    add nochange_kib "$(echo "$line" | awk '{ print $3 }')"
    add nochange_find "$(seconds find "$data/many" -printf '%T@ %s %p\n')"
    add nochange_rsync "$(seconds rsync -a "$data/many/" "$out/mirror/")"
done
rm -rf "$out"

m() { printf '%s' "${results[$1]}" | median; }
ratio() { echo "$1 / $2" | bc -l | xargs printf '%.2f'; }
printf '\n%-44s %9s %9s %7s %s\n' "measurement" "ours" "peer" "ratio" "target"
printf '%-44s %8.2fs %8.2fs %7s %s\n' "full plain backup of mixed vs cp -a" "$(m full_ours)" "$(m full_cp)" \
    "$(ratio "$(m full_ours)" "$(m full_cp)")" "<= 1.10"
printf '%-44s %8.2fs %8.2fs %7s %s\n' "  (the same vs cp -a followed by sync)" "$(m full_ours)" "$(m full_cp_sync)" \
    "$(ratio "$(m full_ours)" "$(m full_cp_sync)")" ""
printf '%-44s %8.2fs %8.2fs %7s %s\n' "full compressed backup of mixed vs zip -r -6" "$(m zip_ours)" "$(m zip_peer)" \
    "$(ratio "$(m zip_ours)" "$(m zip_peer)")" "<= 1.00"
printf '%-44s %8.2fs %8.2fs %7s %s\n' "no-change pass over many vs find stat walk" "$(m nochange_ours)" \
    "$(m nochange_find)" "$(ratio "$(m nochange_ours)" "$(m nochange_find)")" "<= 1.50"
printf '%-44s %8.2fs %8.2fs %7s %s\n' "no-change pass over many vs rsync -a" "$(m nochange_ours)" \
    "$(m nochange_rsync)" "$(ratio "$(m nochange_ours)" "$(m nochange_rsync)")" "< 1.00"
printf '%-44s %8.2fs %8.2fs %7s %s\n' "restore of mixed from a plain set vs cp -a" "$(m restore_plain)" \
    "$(m restore_cp)" "$(ratio "$(m restore_plain)" "$(m restore_cp)")" "<= 1.20"
printf '%-44s %8.2fs %8.2fs %7s %s\n' "restore of mixed from archives vs unzip" "$(m restore_zip)" \
    "$(m restore_unzip)" "$(ratio "$(m restore_zip)" "$(m restore_unzip)")" "<= 1.20"
printf '%-44s %8.1fM %9s %7s %s\n' "peak memory of the no-change pass" "$(echo "$(m nochange_kib) / 1024" | bc -l)" \
    "" "" "<= 64M"
