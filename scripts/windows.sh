# Sourced by scripts/test --windows: the toolbox for 64-bit Windows, built and tried here.
#  1. the USB driver loader (link/d2xxdriver_win.cpp) with its test program, the fake ftd2xx.dll and
#     the Windows resource, cross-built for 64 and 32 bits without Qt; the 64-bit test under Wine;
#  2. Qt for MinGW-w64 (scripts/windows-qt: cached, reused, or built from source);
#  3. the toolbox and the suites that need no POSIX API, cross-built, and those suites under Wine;
#  4. the install folder, every DLL import in it checked, the NSIS installer and the zip;
#  5. the installer run silently under Wine into "C:\Program Files\Telvoran2 DALI toolbox", the
#     installed program run against the Linux simulator on loopback (--version, --help, --scan over
#     UDP and TCP, the window's scan and erase under Xvfb with a screenshot), then the uninstaller.
# Everything lands in build-windows/; the closing line counts the checks.
# shellcheck shell=bash

WINDOWS_PACKAGES=(cmake make g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686 wine64 wine
    nsis xvfb xauth xdotool imagemagick binutils-mingw-w64-x86-64)
WINDOWS_SCREENSHOT=build-windows/screenshot-wine-erase.png

windows_checks_run=0
windows_checks_failed=0
windows_failures=()

# check NAME COMMAND...: runs COMMAND, counts it, and keeps going when it fails.
check() {
    local name=$1
    shift
    windows_checks_run=$((windows_checks_run + 1))
    if "$@"; then
        echo "ok: $name"
    else
        windows_checks_failed=$((windows_checks_failed + 1))
        windows_failures+=("$name")
        echo "FAILED: $name" >&2
    fi
}

stage() { echo "== windows: $* ($(date +%T))"; }

# poll TRIES COMMAND...: runs COMMAND every half second until it succeeds, at most TRIES times;
# fails when it never did.
poll() {
    local tries=$1
    shift
    for _ in $(seq "$tries"); do
        "$@" && return 0
        sleep 0.5
    done
    return 1
}

# The project's version, as the top CMakeLists.txt declares it.
toolbox_version() { sed -n 's/^project(.*VERSION \([0-9.]*\).*/\1/p' "$TOOLBOX_ROOT/CMakeLists.txt"; }

windows_d2xx_loader() {
    local build_dir=$1 arch
    # The 32-bit build checks the record layout at compile time; running it would need 32-bit Wine.
    for arch in x86_64 i686; do
        cmake -S "$TOOLBOX_ROOT" -B "$build_dir/d2xx-$arch" -DTOOLBOX_WINDOWS_D2XX=ON -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR="$arch" \
            -DCMAKE_C_COMPILER="$arch-w64-mingw32-gcc" -DCMAKE_CXX_COMPILER="$arch-w64-mingw32-g++" \
            -DCMAKE_RC_COMPILER="$arch-w64-mingw32-windres" >/dev/null
        cmake --build "$build_dir/d2xx-$arch" -j"$(nproc)" >/dev/null
    done
    local out="$build_dir/tst_d2xxloader.out" status=0 report
    TOOLBOX_WINEPREFIX="$build_dir/wineprefix" timeout 600 env -u DISPLAY -u WAYLAND_DISPLAY \
        "$TOOLBOX_ROOT/scripts/wine-exec" "$build_dir/d2xx-x86_64/tests/windows/tst_d2xxloader.exe" \
        >"$out" 2>"$build_dir/wine.err" || status=$?
    report=$(tr -d '\r' <"$out")
    printf '%s\n' "$report"
    # Wine may give a program that crashed the exit status 0: it passes only with its closing line.
    [ "$status" -eq 0 ] && grep -q '^d2xx loader under Wine: [0-9]* checks, 0 failed$' <<<"$report"
}

# Qt reads QT_* variables, which Wine does not pass on from Linux: the suites' prefix has them in
# its own environment.
windows_suites() {
    local build_dir=$1 kv
    for kv in QT_QPA_PLATFORM=offscreen QT_FORCE_STDERR_LOGGING=1 QT_FORCE_ASSERTS=1; do
        "$TOOLBOX_ROOT/scripts/wine-exec" reg add 'HKCU\Environment' /v "${kv%%=*}" /d "${kv#*=}" /f >/dev/null 2>&1
    done
    WINEPREFIX=$TOOLBOX_WINEPREFIX wineserver -w
    # The window suite is left out: Qt's offscreen platform on Windows draws with the fonts of Qt's
    # own lib/fonts, which Qt no longer ships, and Wine's window driver needs a display.
    # A timing check that fails once under Wine on a loaded machine gets a second run.
    ctest --test-dir "$build_dir/toolbox" --output-on-failure -j"$(nproc)" --timeout 300 -E '^app\.' \
        --repeat until-pass:2
}

# Every DLL that a file of the folder imports is in the folder or is part of Windows.
windows_imports_satisfied() {
    local folder=$1 file dll missing=0
    local system='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|ws2_32|iphlpapi|winmm|imm32|dwmapi|uxtheme|version|netapi32|userenv|setupapi|mpr|winspool\.drv|shlwapi|wtsapi32|dnsapi|crypt32|secur32|msvcrt|rpcrt4|comctl32|bcrypt|ntdll|d3d9|d3d11|dxgi|d2d1|dwrite|opengl32|shcore|cfgmgr32|hid|powrprof|wininet|winhttp)\.dll$'
    while IFS= read -r -d '' file; do
        while read -r dll; do
            if [ -e "$(dirname "$file")/$dll" ] || [ -e "$folder/$dll" ]; then
                continue
            fi
            if grep -qiE "$system" <<<"$dll" || grep -qiE '^(api|ext)-ms-' <<<"$dll"; then
                continue
            fi
            echo "$file imports $dll, which is neither in the folder nor part of Windows" >&2
            missing=1
        done < <(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
    done < <(find "$folder" -iname '*.exe' -print0 -o -iname '*.dll' -print0)
    return "$missing"
}

# same_scan_document LINUX WINE STATUS: the Windows program exited 0 and printed the document of
# the Linux build (a document with modules), its date aside.
same_scan_document() {
    local linux=$1 wine=$2 status=$3
    [ "$status" -eq 0 ] && grep -q '"modules"' "$linux" &&
        diff <(grep -v '^ *"date":' "$linux") <(tr -d '\r' <"$wine" | grep -v '^ *"date":')
}

# sim_start LOG ARGS...: the Linux simulator in the background (sim_pid), its frame log in LOG, and
# its URL in sim_url once it listens (its first line: "UDP 127.0.0.1:PORT" or "TCP ...").
sim_start() {
    local log=$1
    shift
    "$TOOLBOX_ROOT/build/sim/telvoran-bus-sim" "$@" >"$log" 2>&1 &
    sim_pid=$!
    sim_url=""
    for _ in $(seq 100); do
        sim_url=$(sed -n '1s/^\(UDP\|TCP\) /\L\1:\/\//p' "$log")
        [ -n "$sim_url" ] && break
        sleep 0.1
    done
}

# gone PID: the process has ended.
gone() { ! kill -0 "$1" 2>/dev/null; }

sim_stop() {
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
}

windows_installed_program() {
    local build_dir=$1 installer=$2
    local prefix="$build_dir/wineprefix-install" run="$TOOLBOX_ROOT/scripts/wine-exec"
    local folder="$prefix/drive_c/Program Files/Telvoran2 DALI toolbox"
    local exe="C:\\Program Files\\Telvoran2 DALI toolbox\\telvoran-dali-toolbox.exe"
    local out="$build_dir/run"
    rm -rf "$prefix" "$out"
    mkdir -p "$out"
    export TOOLBOX_WINEPREFIX=$prefix TOOLBOX_WINE_DLL_PATH=
    # The installed program finds its DLLs beside it: no WINEPATH.
    check "installer /S" timeout 300 env -u DISPLAY "$run" "$installer" /S
    WINEPREFIX=$prefix wineserver -w
    check "installed: program, Qt, platform plugin, runtime, uninstaller" \
        test -f "$folder/telvoran-dali-toolbox.exe" -a -f "$folder/Qt5Widgets.dll" -a \
        -f "$folder/platforms/qwindows.dll" -a -f "$folder/libwinpthread-1.dll" -a -f "$folder/Uninstall.exe"
    check "Start-menu entry" bash -c "find '$prefix/drive_c' -ipath '*start menu*' -iname '*Telvoran2 DALI toolbox*.lnk' | grep -q ."

    env -u DISPLAY "$run" "$exe" --version >"$out/version.txt" 2>&1 || true
    check "--version" grep -q "^telvoran-dali-toolbox $(toolbox_version)" \
        <(tr -d '\r' <"$out/version.txt")
    env -u DISPLAY "$run" "$exe" --help >"$out/help.txt" 2>&1 || true
    check "--help lists --scan and --log" bash -c "grep -q -- '--scan' '$out/help.txt' && grep -q -- '--log' '$out/help.txt'"

    local scheme url status
    for scheme in udp tcp; do
        sim_start "$out/sim-$scheme.log" "--$scheme" 127.0.0.1:0
        url=$sim_url
        "$TOOLBOX_ROOT/build/app/telvoran-dali-toolbox" --scan "$url" --json >"$out/scan-linux-$scheme.json" 2>/dev/null || true
        status=0
        env -u DISPLAY "$run" "$exe" --scan "$url" --json >"$out/scan-wine-$scheme.json" 2>"$out/scan-wine-$scheme.err" || status=$?
        sim_stop
        check "--scan $scheme --json under Wine: exit 0, same document as on Linux" \
            same_scan_document "$out/scan-linux-$scheme.json" "$out/scan-wine-$scheme.json" "$status"
    done

    # The window: connect over UDP, Scan (Alt+S), Erase (Alt+E), answer Yes (Alt+Y), with the
    # diagnostics in a file (--log) and the frames in a trace (--trace).
    # The runs above had no display, and the prefix's desktop process (explorer.exe /desktop) may
    # still be alive without one: a window would then go nowhere. A new wineserver starts with ours.
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    WINEPREFIX=$prefix wineserver -w
    local display_log="$out/xvfb.log" xvfb_pid display
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$out/display" >"$display_log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$out/display" ] && break; sleep 0.1; done
    display=:$(cat "$out/display")
    sim_start "$out/sim-window.log" --udp 127.0.0.1:0 --module LUX42:0x12D687:3 --module REL08:66:1
    url=$sim_url
    DISPLAY=$display "$run" "$exe" --log 'C:\users\Public\toolbox.log' --trace 'C:\users\Public\toolbox.trace' "$url" \
        >"$out/window.out" 2>&1 &
    local window_pid=$! wid="" question=""
    # On the virtual display; no step of the drive can stop the script.
    xdo() { DISPLAY=$display xdotool "$@" || true; }
    # window_ids [EXCEPT]: the program's windows but EXCEPT, oldest first; fails when there is none.
    window_ids() { xdo search --name 'Telvoran2 DALI toolbox' 2>/dev/null | grep -vx "${1:-}"; }
    rm -f "$TOOLBOX_ROOT/$WINDOWS_SCREENSHOT"
    # A new prefix's first window takes a while under load.
    poll 360 window_ids >/dev/null || true
    wid=$(window_ids | head -n1) || true
    check "window shown" test -n "$wid"
    [ -n "$wid" ] || tail -n 20 "$out/window.out" >&2
    if [ -n "$wid" ]; then
        # No window manager: keys go to the window under the pointer, and a click makes Wine's
        # window the active one (on the logo, where it does nothing else).
        sleep 3
        xdo mousemove --window "$wid" 120 40 click 1
        sleep 0.5
        xdo key alt+s
        poll 40 grep -q 'COTRANSTABLE' "$out/sim-window.log" || true
        sleep 2
        xdo mousemove --window "$wid" 120 40 click 1
        xdo key alt+e
        # The question is the newest window of the program's title.
        poll 20 window_ids "$wid" >/dev/null || true
        question=$(window_ids "$wid" | tail -n1) || true
        if [ -n "$question" ]; then
            sleep 1
            xdo mousemove --window "$question" 250 20
            xdo key alt+y
        fi
        poll 40 grep -q 'BUS->PC COACKN .*3:3F12D687' "$out/sim-window.log" || true
        sleep 2
        DISPLAY=$display import -window root "$TOOLBOX_ROOT/$WINDOWS_SCREENSHOT" || true
        xdo mousemove --window "$wid" 120 40 click 1 key ctrl+q
    fi
    poll 40 gone "$window_pid" || true
    kill "$window_pid" 2>/dev/null || true
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    sim_stop
    kill "$xvfb_pid" 2>/dev/null || true
    local public="$prefix/drive_c/users/Public"
    check "window: scan reached the bus and the table came back" grep -q 'COTRANSTABLE' "$out/sim-window.log"
    check "window: erase sent to the DALI module and acknowledged by it" bash -c \
        "grep -q 'PC->BUS COSETDATA .*-> 3:3F12D687' '$out/sim-window.log' && grep -q 'BUS->PC COACKN .*3:3F12D687 -> 1' '$out/sim-window.log'"
    check "window: --trace written" grep -q 'COSETDATA' "$public/toolbox.trace"
    check "window: --log written" test -s "$public/toolbox.log"
    check "screenshot taken" test -s "$TOOLBOX_ROOT/$WINDOWS_SCREENSHOT"

    # The uninstaller copies itself away and returns at once; wineserver -w waits for that copy.
    check "uninstaller /S" timeout 300 env -u DISPLAY "$run" "$folder/Uninstall.exe" /S
    WINEPREFIX=$prefix wineserver -w
    check "install folder gone after uninstall" test ! -e "$folder/telvoran-dali-toolbox.exe"
    unset TOOLBOX_WINEPREFIX TOOLBOX_WINE_DLL_PATH
}

run_windows() {
    ensure_packages "${WINDOWS_PACKAGES[@]}" "${BUILD_PACKAGES[@]}"
    local build_dir="$TOOLBOX_ROOT/build-windows" started qt_dir
    started=$(date +%s)
    mkdir -p "$build_dir"
    export TOOLBOX_WINEPREFIX="$build_dir/wineprefix"

    stage "USB driver loader, 64 and 32 bits"
    check "d2xx loader under Wine" windows_d2xx_loader "$build_dir"

    stage "Qt for MinGW-w64"
    qt_dir=$(bash "$TOOLBOX_ROOT/scripts/windows-qt" | tail -n1)
    echo "Qt: $qt_dir"

    stage "cross-building the toolbox and its suites"
    cmake -S "$TOOLBOX_ROOT" -B "$build_dir/toolbox" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLBOX_ROOT/cmake/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$qt_dir" \
        -DTOOLBOX_BUILD_BENCH=OFF -DCMAKE_CROSSCOMPILING_EMULATOR="$TOOLBOX_ROOT/scripts/wine-exec" >/dev/null
    cmake --build "$build_dir/toolbox" -j"$(nproc)"
    check "program is a 64-bit GUI program with its icon and version" bash -c \
        "x86_64-w64-mingw32-objdump -p '$build_dir/toolbox/app/telvoran-dali-toolbox.exe' | grep -q 'Subsystem.*(Windows GUI)' &&
         x86_64-w64-mingw32-objdump -h '$build_dir/toolbox/app/telvoran-dali-toolbox.exe' | grep -q '\.rsrc'"

    stage "suites under Wine"
    local gxx=x86_64-w64-mingw32-g++-posix
    TOOLBOX_WINE_DLL_PATH="$qt_dir/bin;$(dirname "$($gxx -print-file-name=libstdc++-6.dll)")"
    TOOLBOX_WINE_DLL_PATH+=";$(dirname "$(realpath "$($gxx -print-file-name=libwinpthread-1.dll)")")"
    export TOOLBOX_WINE_DLL_PATH
    check "suites under Wine (frames, comm, workflow, link, fuzz replays)" windows_suites "$build_dir"
    unset TOOLBOX_WINE_DLL_PATH

    stage "install folder, installer and zip"
    rm -rf "$build_dir/folder"
    cmake --install "$build_dir/toolbox" --prefix "$build_dir/folder" >/dev/null
    check "every DLL import of the folder satisfied" windows_imports_satisfied "$build_dir/folder"
    (cd "$build_dir/toolbox" && cpack -G "NSIS;ZIP" >/dev/null)
    local installer
    installer="$build_dir/toolbox/telvoran-dali-toolbox-$(toolbox_version)-win64.exe"
    check "installer and zip made" test -s "$installer" -a -s "${installer%.exe}.zip"

    stage "the installed program under Wine, against the simulator"
    # The Linux simulator and program the installed one is compared with.
    cmake -S "$TOOLBOX_ROOT" -B "$TOOLBOX_ROOT/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$TOOLBOX_ROOT/build" -j"$(nproc)" --target telvoran-bus-sim telvoran-dali-toolbox >/dev/null
    windows_installed_program "$build_dir" "$installer"

    echo "windows: $((windows_checks_run - windows_checks_failed)) passed, $windows_checks_failed failed ($(($(date +%s) - started)) s)"
    if [ "$windows_checks_failed" -ne 0 ]; then
        printf 'failed: %s\n' "${windows_failures[@]}" >&2
        return 1
    fi
}
