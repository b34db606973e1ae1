#!/usr/bin/env bash
# The native checks: the plain C++ parts and their tests built with clang under ASan+UBSan and
# under TSan (among them the stress tests of the cell log's and the controller's threads, whose
# figures are printed from the TSan run), then the fuzzers for a bounded time. Builds into
# $TARNVEL_BUILD_ROOT/native-*.
#   native/check.sh                      tests, then each fuzzer for 60 s (the CI run)
#   native/check.sh --fuzz-seconds N     each fuzzer for N s (0: no fuzzing)
#   native/check.sh --fuzz-runs N        each fuzzer for N executions (the long local run)
# A crash leaves its input in $TARNVEL_BUILD_ROOT/native-address/fuzz-artifacts; copy it into
# native/fuzz/corpus/<fuzzer>_regressions/ so that the tests replay it from then on.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_root="${TARNVEL_BUILD_ROOT:-$PWD/build}"
fuzz_limit=(-max_total_time=60)
while (($#)); do
    case "$1" in
    --fuzz-seconds) fuzz_limit=(-max_total_time="$2"); [ "$2" = 0 ] && fuzz_limit=(); shift 2 ;;
    --fuzz-runs) fuzz_limit=(-runs="$2"); shift 2 ;;
    *) echo "native/check.sh: unknown option $1" >&2; exit 64 ;;
    esac
done

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"

for sanitizer in address thread; do
    dir="$build_root/native-$sanitizer"
    [ -f "$dir/CMakeCache.txt" ] ||
        cmake -S native -B "$dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
            -DTARNVEL_SANITIZE="$sanitizer" >/dev/null
    cmake --build "$dir" -j2
    echo "native: tests under the $sanitizer sanitizer"
    ctest --test-dir "$dir" --output-on-failure -j2 --no-tests=error -L native
    if [ "$sanitizer" = thread ]; then
        grep -h '^\[ figure \]' "$dir/Testing/Temporary/LastTest.log" | sed 's/^\[ figure \]/native: threads:/' || true
    fi
done

((${#fuzz_limit[@]})) || exit 0
dir="$build_root/native-address"
artifacts="$dir/fuzz-artifacts"
mkdir -p "$artifacts"
for fuzzer in package_header event_lines host_protocol; do
    # The fuzzer grows a working copy; the committed seeds stay as they are.
    work="$dir/fuzz-corpus/$fuzzer"
    mkdir -p "$work"
    seeds=()
    for folder in native/fuzz/corpus/"$fuzzer" native/fuzz/corpus/"$fuzzer"_regressions; do
        [ -d "$folder" ] && seeds+=("$folder")
    done
    echo "native: fuzzing $fuzzer (${fuzz_limit[*]})"
    "$dir/bin/${fuzzer}_fuzzer" "${fuzz_limit[@]}" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$fuzzer-" "$work" "${seeds[@]}" 2>"$dir/fuzz-$fuzzer.log" ||
        { tail -40 "$dir/fuzz-$fuzzer.log"; echo "native: $fuzzer fuzzer found a fault; input in $artifacts" >&2; exit 1; }
    grep -E '^stat::number_of_executed_units|^Done ' "$dir/fuzz-$fuzzer.log" | sed "s/^/native: $fuzzer: /"
done
