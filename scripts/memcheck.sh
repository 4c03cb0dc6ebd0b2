# The unit suites under valgrind memcheck (scripts/test --memcheck), in build-memcheck/: any memory
# error, and any definite leak outside the system libraries named in scripts/valgrind.supp, fails.
# The end-to-end suites (label e2e) are left out: they drive the simulator as a separate program,
# which valgrind does not follow, and the window half of them is covered by app.tst_busworkflow.
# shellcheck shell=bash

MEMCHECK_PACKAGES=(valgrind)
MEMCHECK_LABELS='^(frames|link|comm|workflow|app|sim)$'

run_memcheck() {
    ensure_packages "${BUILD_PACKAGES[@]}" "${MEMCHECK_PACKAGES[@]}"
    local build_dir="$TOOLBOX_ROOT/build-memcheck"
    local valgrind=(
        valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite
        --errors-for-leak-kinds=definite --error-exitcode=1 --num-callers=40
        # The sim suite starts the real simulator through QProcess: the forked child runs natively.
        --child-silent-after-fork=yes
        --suppressions="$TOOLBOX_ROOT/scripts/valgrind.supp"
    )
    # PCRE2's JIT code (QRegularExpression) reads whole vectors past the string end and trips
    # memcheck without a fault; the interpreter matches the same.
    export QT_ENABLE_REGEXP_JIT=0
    local emulator
    emulator=$(
        IFS=';'
        echo "${valgrind[*]}"
    )
    # Debug keeps the frames of our own code in every report; the emulator makes ctest start each
    # suite under valgrind, with ctest's labels, timeouts and summary.
    cmake -S "$TOOLBOX_ROOT" -B "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DTOOLBOX_BUILD_BENCH=OFF \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator"
    # Each suite's executable is named after its ctest entry; only those (and what they need) are built.
    local suites
    mapfile -t suites < <(ctest --test-dir "$build_dir" -N -L "$MEMCHECK_LABELS" | sed -n 's/^ *Test *#[0-9]*: //p')
    cmake --build "$build_dir" -j"$(nproc)" --target "${suites[@]}"
    ctest --test-dir "$build_dir" -L "$MEMCHECK_LABELS" --output-on-failure -j"$(nproc)"
}
