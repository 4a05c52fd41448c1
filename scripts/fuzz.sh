#!/usr/bin/env bash
# Runs every fuzz target of the sanitizer build (build-san, made by scripts/test.sh) on its
# corpus in build-san/corpus/, as many at a time as there are cores (or FUZZ_JOBS).
#   scripts/fuzz.sh            the share of VORNIX_FUZZ_SECONDS (default 100 s of wall time)
#                              for each target, at least 6 s: what scripts/test.sh runs
#   scripts/fuzz.sh SECONDS    SECONDS for each target (a long run before a release)
# A target that crashes, hangs or leaks fails the run, its log shown. The corpora grow from run
# to run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 2)}
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}"
targets=()
for f in build-san/fuzz/fuzz_*; do [ -x "$f" ] && targets+=("$f"); done
if [ "${#targets[@]}" -eq 0 ]; then
    echo "no fuzz targets in build-san/fuzz: run scripts/test.sh first" >&2
    exit 1
fi
if [ $# -ge 1 ]; then
    fuzz_seconds="$1"
else
    fuzz_total=${VORNIX_FUZZ_SECONDS:-100}
    fuzz_seconds=$(( fuzz_total * jobs / ${#targets[@]} ))
    [ "$fuzz_seconds" -lt 6 ] && fuzz_seconds=6
fi
fuzz_one() {
    local f="$1" seconds="$2" name corpus log status=0
    name=$(basename "$f")
    # Absolute paths: the targets work in a private folder of their own.
    corpus="$PWD/build-san/corpus/$name"
    log="$PWD/build-san/corpus/$name.log"
    mkdir -p "$corpus"
    [ -d "fuzz/seeds/$name" ] && cp -n fuzz/seeds/"$name"/* "$corpus"/ 2>/dev/null || true
    "$f" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=0 \
        "$corpus" >"$log" 2>&1 || status=$?
    echo "-- $name (${seconds}s): $(grep -E '^#[0-9]+' "$log" | tail -n 1)"
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        return 1
    fi
}
export -f fuzz_one
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'fuzz_one "$1" "$2"' _ {} "$fuzz_seconds"
