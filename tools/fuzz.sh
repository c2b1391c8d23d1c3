#!/usr/bin/env bash
# Fuzzes the note settings parser for a while (default 60 s) natively under libFuzzer with
# AddressSanitizer and UndefinedBehaviorSanitizer. The test suite runs the committed
# seeds and a fixed number of runs; this keeps going and grows its own corpus.
#   tools/fuzz.sh [SECONDS]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
seconds=${1:-60}

ensure_packages "${FUZZ_PACKAGES[@]}"
native=$BUILD_ROOT/native
if [ ! -f "$native/CMakeCache.txt" ]; then
    cmake -S "$TOP/tests/native" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$native" -j "$JOBS" --target settings_fuzz
# What libFuzzer finds goes into the first folder; the committed seeds stay read-only.
mkdir -p "$native/settings_corpus"
"$native/settings_fuzz" -max_total_time="$seconds" -max_len=512 -print_final_stats=1 \
    -artifact_prefix="$native/" "$native/settings_corpus" "$TOP/tests/native/corpus"
