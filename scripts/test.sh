#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the unit and integration
# tests, the unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer, and each
# fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

echo "== Build and run the tests"
# Minimal debug information (line tables and function names) keeps the build quick while
# failures still point at their source lines.
# The options are all given, as scripts/play.sh builds the same folder without the tests.
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNIX_TESTS=ON -DVORNIX_BENCH=ON \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
(cd build && ctest --output-on-failure -j "$jobs" --timeout 600)

echo "== Unit tests under AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzz targets"
# One clang build serves both: sanitizers everywhere, coverage instrumentation for libFuzzer.
# Line tables are all the sanitizers' reports need, and cost far less to build than full debug
# information.
scripts/build.sh build-san -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNIX_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only" \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only"
(cd build-san && ctest --output-on-failure -j "$jobs" -L unit --timeout 600)

# The fuzzing time is shared out among the targets: about two minutes in all by default.
targets=(build-san/fuzz/fuzz_*)
fuzz_total=${VORNIX_FUZZ_SECONDS:-120}
fuzz_seconds=$(( fuzz_total / ${#targets[@]} ))
[ "$fuzz_seconds" -lt 5 ] && fuzz_seconds=5
for f in "${targets[@]}"; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    corpus="build-san/corpus/$name"
    mkdir -p "$corpus"
    [ -d "fuzz/seeds/$name" ] && cp -n fuzz/seeds/"$name"/* "$corpus"/ 2>/dev/null || true
    echo "-- $name (${fuzz_seconds}s)"
    "$f" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
done
echo "== All tests passed"
