# Sourced by scripts/test --windows: the Windows USB driver loader (link/d2xxdriver_win.cpp) with its
# test program, the fake ftd2xx.dll and the Windows resource, cross-built with MinGW-w64 for 64 and
# 32 bits in build-windows/; the 64-bit test then runs under Wine in a private prefix there.
# shellcheck shell=bash

# wine64 brings the 64-bit loader; the command `wine` comes with the package of that name.
WINDOWS_PACKAGES=(cmake make g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64 wine)

run_windows() {
    ensure_packages "${WINDOWS_PACKAGES[@]}"
    local build_dir="$TOOLBOX_ROOT/build-windows" arch
    # The 32-bit build checks the record layout at compile time; running it would need 32-bit Wine.
    for arch in x86_64 i686; do
        cmake -S "$TOOLBOX_ROOT" -B "$build_dir/$arch" -DTOOLBOX_WINDOWS_D2XX=ON -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR="$arch" \
            -DCMAKE_C_COMPILER="$arch-w64-mingw32-gcc" -DCMAKE_CXX_COMPILER="$arch-w64-mingw32-g++" \
            -DCMAKE_RC_COMPILER="$arch-w64-mingw32-windres"
        cmake --build "$build_dir/$arch" -j"$(nproc)"
    done

    # No display, no offer to install Mono or Gecko, no debug channels: only the test's own output.
    local out="$build_dir/tst_d2xxloader.out" status=0
    WINEPREFIX="$build_dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        timeout 600 env -u DISPLAY -u WAYLAND_DISPLAY wine "$build_dir/x86_64/tests/windows/tst_d2xxloader.exe" \
        >"$out" 2>"$build_dir/wine.err" || status=$?
    # The prefix's wineserver lingers a few seconds after the last program; let it finish here.
    WINEPREFIX="$build_dir/wineprefix" wineserver -w || true
    local report
    report=$(tr -d '\r' <"$out")
    printf '%s\n' "$report"
    # Wine may give a program that crashed the exit status 0: it passes only with its closing line.
    if [ "$status" -eq 0 ] && ! grep -q '^d2xx loader under Wine: [0-9]* checks, 0 failed$' <<<"$report"; then
        echo "tst_d2xxloader ended without its closing line" >&2
        status=1
    fi
    if [ "$status" -ne 0 ]; then
        tail -n 20 "$build_dir/wine.err"
        echo "tst_d2xxloader under Wine FAILED (exit status $status)" >&2
        return 1
    fi
}
