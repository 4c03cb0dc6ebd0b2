# Sourced by scripts/test --fuzz SECONDS: builds the libFuzzer targets with clang in build-fuzz/ and runs
# each for SECONDS on a scratch copy of its committed corpus.
# shellcheck shell=bash

FUZZ_TARGETS=(fuzz_frame_transport fuzz_frame_binary fuzz_cut_items fuzz_module_table)

run_fuzz() {
    local seconds=$1 build_dir="$TOOLBOX_ROOT/build-fuzz" target failed=()
    ensure_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev
    CC=clang CXX=clang++ cmake -S "$TOOLBOX_ROOT" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTOOLBOX_BUILD_FUZZ=ON -DTOOLBOX_BUILD_BENCH=OFF
    cmake --build "$build_dir" -j"$(nproc)" --target "${FUZZ_TARGETS[@]}"

    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    export LSAN_OPTIONS="suppressions=$TOOLBOX_ROOT/scripts/lsan.supp:print_suppressions=0"
    for target in "${FUZZ_TARGETS[@]}"; do
        # New inputs go to the scratch copy only; the committed corpus changes by hand, with a finding.
        local work="$build_dir/fuzz-work/$target"
        rm -rf "$work" && mkdir -p "$work/corpus" "$work/crashes"
        cp "$TOOLBOX_ROOT/tests/fuzz/corpus/$target/"* "$work/corpus/"
        echo "== $target: ${seconds}s"
        if ! "$build_dir/tests/fuzz/$target" -max_total_time="$seconds" -max_len=4096 \
            -artifact_prefix="$work/crashes/" "$work/corpus" >"$work/log" 2>&1; then
            failed+=("$target")
            tail -n 40 "$work/log"
            echo "$target FAILED; crashing input in $work/crashes/:" && ls -l "$work/crashes/"
        else
            grep -E '^#[0-9]+.*(DONE|pulse)' "$work/log" | tail -n 1 || true
        fi
    done
    if [ ${#failed[@]} -gt 0 ]; then
        echo "fuzzing found faults in: ${failed[*]}" >&2
        return 1
    fi
    echo "all ${#FUZZ_TARGETS[@]} fuzz targets ran ${seconds}s without a finding"
}
