# Static analysis of the toolbox's own sources (scripts/test --analyze): clang-tidy with the checks in
# .clang-tidy, then cppcheck. Any finding of either tool fails the run.
# Only the production folders are analysed. tests/ and bench/ run under the sanitizers and valgrind,
# and in a test the state changes behind the tools' backs while QTest::qWait or QTRY_* runs the
# event loop, so "condition is always true" and the like are false findings there.
# shellcheck shell=bash

ANALYSIS_PACKAGES=(clang-tidy cppcheck)
ANALYZED_FOLDERS=(frames link comm workflow app sim)

run_analysis() {
    ensure_packages "${BUILD_PACKAGES[@]}" "${ANALYSIS_PACKAGES[@]}"
    local build_dir="$TOOLBOX_ROOT/build-analyze"
    # The sources include the AUTOUIC header and the AUTOMOC output, so those must exist before
    # either tool parses a file; building the (few) production targets generates them.
    configure_and_build "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DTOOLBOX_BUILD_TESTS=OFF -DTOOLBOX_BUILD_BENCH=OFF
    local status=0
    run_clang_tidy "$build_dir" || status=1
    run_cppcheck "$build_dir" || status=1
    if [ "$status" -ne 0 ]; then
        echo "static analysis: findings above" >&2
        return 1
    fi
    echo "static analysis: clean"
}

# A regex matching the analysed folders under the checkout, with the checkout path taken literally.
analyzed_folders_regex() {
    local root folders
    root=$(printf '%s' "$TOOLBOX_ROOT" | sed 's/[][\.*^$+?(){}|]/\\&/g')
    folders=$(
        IFS='|'
        echo "${ANALYZED_FOLDERS[*]}"
    )
    echo "^$root/($folders)/"
}

# run_clang_tidy BUILD_DIR: every production translation unit of compile_commands.json (the generated
# moc/rcc sources excluded) in parallel; .clang-tidy turns every warning into an error.
run_clang_tidy() {
    local build_dir=$1 folders
    folders=$(analyzed_folders_regex)
    echo "clang-tidy: $(clang-tidy --version | grep -o 'version [0-9.]*')"
    # run-clang-tidy always asks for colour and echoes each command; keep the findings readable in a log.
    PYTHONUNBUFFERED=1 run-clang-tidy -quiet -j"$(nproc)" -p "$build_dir" -header-filter="${folders}[^/]+\\.h\$" "$folders" 2>&1 |
        sed 's/\x1b\[[0-9;]*m//g' |
        grep -v -e '^clang-tidy[-0-9]* ' -e '^[0-9]* warnings\? generated\.$' -e '^Suppressed [0-9]* warnings' \
            -e '^Use -header-filter=' -e '^Use -system-headers'
    return "${PIPESTATUS[0]}"
}

# run_cppcheck BUILD_DIR: every source file of the production folders, the platform files this build
# does not compile (the Windows and driverless D2XX backends) included.
run_cppcheck() {
    local build_dir=$1 folder
    local includes=() sources=()
    for folder in "${ANALYZED_FOLDERS[@]}"; do
        includes+=(-I "$TOOLBOX_ROOT/$folder")
        while IFS= read -r -d '' file; do
            sources+=("$file")
        done < <(find "$TOOLBOX_ROOT/$folder" -maxdepth 1 -name '*.cpp' -print0 | sort -z)
    done
    # The form's generated ui_*.h.
    while IFS= read -r -d '' folder; do
        includes+=(-I "$folder")
    done < <(find "$build_dir" -type d -path '*_autogen/include' -print0)
    mkdir -p "$build_dir/cppcheck"
    echo "cppcheck: $(cppcheck --version)"
    # useStlAlgorithm: a short early-return loop over a Qt container reads better than std::find_if
    # with a lambda; it is a style preference, not a fault.
    cppcheck --quiet --error-exitcode=1 --inline-suppr -j"$(nproc)" \
        --cppcheck-build-dir="$build_dir/cppcheck" \
        --std=c++17 --language=c++ --library=qt --library=posix \
        --enable=warning,performance,portability,style \
        --suppress=useStlAlgorithm \
        "${includes[@]}" "${sources[@]}"
}
