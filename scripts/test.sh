#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the unit and integration
# tests, the unit tests and the main integration tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and each fuzz target for a share of the fuzz time.
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

echo "== Unit and integration tests under AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzz targets"
# One clang build serves both: sanitizers everywhere, coverage instrumentation for libFuzzer.
# Line tables are all the sanitizers' reports need, and cost far less to build than full debug
# information.
scripts/build.sh build-san -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNIX_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only" \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only"
# Leaks are reported except in what the system libraries own (scripts/lsan.supp says which
# and why).
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
# The sanitizer build ships no robot lines (riding them needs the optimised build), so the test
# that races on the shipped lines runs in the first build only.
(cd build-san && ctest --output-on-failure -j "$jobs" -L unit -E '^PlayerLines\.' --timeout 600)
# The real program under the sanitizers: the integration tests that run the most of it
# (start-up and shutdown, a race from the command line with its demo, the generated data).
(cd build-san && ctest --output-on-failure -j "$jobs" -L integration \
    -R '^(Startup|RaceRun|GameDataRun)\.' --timeout 900)

# Every fuzz target for its share of the fuzzing time (scripts/fuzz.sh says how it is shared).
scripts/fuzz.sh
echo "== All tests passed"
