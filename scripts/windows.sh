# Sourced by scripts/test --windows: the toolbox for 64-bit Windows, built and tried here.
#  1. the USB driver loader (link/d2xxdriver_win.cpp) with its test program, the fake ftd2xx.dll and
#     the Windows resource, cross-built for 64 and 32 bits without Qt; the 64-bit test under Wine;
#  2. Qt for MinGW-w64 (scripts/windows-qt: cached, reused, or built from source);
#  3. the toolbox and the suites that need no POSIX API, cross-built, and those suites under Wine;
#  4. the install folder, every DLL import in it checked, the NSIS installer and the zip;
#  5. the installer run silently under Wine into "C:\Program Files\Telvoran2 DALI toolbox", the
#     installed program run against the Linux simulator on loopback (--version, --help, --scan over
#     UDP and TCP, the console companion at an interactive cmd prompt, the window's scan and erase
#     under Xvfb with a screenshot), then the uninstaller.
# Everything lands in build-windows/; the closing line counts the checks.
# shellcheck shell=bash
# shellcheck disable=SC2317 # the functions that poll and check run look unreachable to it

WINDOWS_PACKAGES=(cmake make g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686 wine64 wine
    nsis xvfb xauth xdotool imagemagick binutils-mingw-w64-x86-64 tmux python3)
WINDOWS_SCREENSHOT=build-windows/screenshot-wine-erase.png

windows_checks_run=0
windows_checks_failed=0
windows_failures=()

# check NAME COMMAND...: runs COMMAND, counts it, and keeps going when it fails. COMMAND runs in a
# subshell with errexit on, so any failing step of a function fails the check: called as the
# condition of an `if` (or in a `||` list), bash would ignore errexit inside it and run on. For the
# same reason check itself is called as a command of its own, never in an `if` or a list.
check() {
    local name=$1 status errexit=$-
    shift
    windows_checks_run=$((windows_checks_run + 1))
    set +e
    (
        set -e
        "$@"
    )
    status=$?
    [[ $errexit == *e* ]] && set -e
    if [ "$status" -eq 0 ]; then
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
            -DCMAKE_TOOLCHAIN_FILE="$TOOLBOX_ROOT/cmake/mingw-w64-$arch.cmake" >/dev/null
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

# windows_programs PROGRAM_DIR: the window program is a 64-bit GUI program with its resources (icon
# and version), its console companion a console program.
# (Read whole before grep: with pipefail, a grep -q that stops early fails its pipe.)
windows_programs() {
    local dir=$1 headers
    headers=$(x86_64-w64-mingw32-objdump -p -h "$dir/telvoran-dali-toolbox.exe")
    grep -q 'Subsystem.*(Windows GUI)' <<<"$headers"
    grep -q '\.rsrc' <<<"$headers"
    headers=$(x86_64-w64-mingw32-objdump -p "$dir/telvoran-dali-toolbox.com")
    grep -q 'Subsystem.*(Windows CUI)' <<<"$headers"
}

# windows_sizes FOLDER INSTALLER: the installed folder holds at most 25 MB, the installer at most
# 12 MB, in the megabytes of 1024 x 1024 bytes that Explorer shows.
windows_sizes() {
    local folder=$1 installer=$2 folder_bytes installer_bytes mb=$((1024 * 1024))
    folder_bytes=$(find "$folder" -type f -printf '%s\n' | awk '{ n += $1 } END { print n }')
    installer_bytes=$(stat -c %s "$installer")
    awk -v f="$folder_bytes" -v i="$installer_bytes" -v mb="$mb" \
        'BEGIN { printf "install folder %d bytes (%.1f MB), installer %d bytes (%.1f MB)\n", f, f / mb, i, i / mb }'
    [ "$folder_bytes" -le $((25 * mb)) ]
    [ "$installer_bytes" -le $((12 * mb)) ]
}

# windows_start_menu_entry PREFIX: the Start-menu folder carries the name without the version, and
# its entry starts the window program (not the console companion).
windows_start_menu_entry() {
    local lnk target
    lnk=$(find "$1/drive_c" -ipath '*/start menu/programs/telvoran2 dali toolbox/telvoran2 dali toolbox.lnk')
    [ -n "$lnk" ]
    # The shortcut holds the target's path in UTF-16.
    target=$(tr -d '\0' <"$lnk" | tr -c '[:print:]' '\n')
    grep -q 'telvoran-dali-toolbox\.exe' <<<"$target"
    ! grep -q 'telvoran-dali-toolbox\.com' <<<"$target"
}

# vendor_key PREFIX: HKLM\Software\Telvoran2 is in the prefix's registry file (written once its
# wineserver has ended).
vendor_key() { grep -qi '^\[Software\\\\Telvoran2[]\\]' "$1/system.reg"; }
no_vendor_key() { ! vendor_key "$1"; }

# windows_help HELP_FILE: --help names the jobs, the log file, and serial ports as Windows names them.
windows_help() {
    local help
    help=$(tr -d '\r' <"$1")
    grep -q -- '--scan' <<<"$help"
    grep -q -- '--log' <<<"$help"
    grep -q 'serial://COM3?baud=38400' <<<"$help"
}

# windows_cmd_prompt PREFIX OUT PORT: a user at an interactive Wine cmd prompt (in a terminal, as tmux
# gives one) goes to the install folder and types the program's name with --scan of a TCP port
# where nothing listens. The console companion, which cmd finds first, prints the reason before
# the next prompt (the Linux build's line) and leaves 1 in %ERRORLEVEL%; its --version redirected
# to a file lands there. The screen is kept in OUT/cmd-prompt.txt.
windows_cmd_prompt() {
    local prefix=$1 out=$2 port=$3 socket="$2/tmux.socket" screen="$2/cmd-prompt.txt" reason
    local url="tcp://127.0.0.1:$port" folder='C:\Program Files\Telvoran2 DALI toolbox'
    reason=$("$TOOLBOX_ROOT/build/app/telvoran-dali-toolbox" --scan "$url" 2>&1 >/dev/null || true)
    [ -n "$reason" ]
    rm -f "$socket" "$prefix/drive_c/users/Public/version.txt"
    tmux -S "$socket" new-session -d -x 200 -y 50 env -u DISPLAY "$TOOLBOX_ROOT/scripts/wine-exec" cmd
    # shown PATTERN: the screen (its non-empty lines) has a line matching PATTERN.
    shown() {
        tmux -S "$socket" capture-pane -p -J | sed -e 's/[[:space:]]*$//' -e '/^$/d' >"$screen"
        grep -q "$1" "$screen"
    }
    # type_line LINE: types LINE and Enter at the prompt, and waits for the prompt after it.
    local prompts=0
    type_line() {
        tmux -S "$socket" send-keys -t 0 -l "$1"
        tmux -S "$socket" send-keys -t 0 Enter
        prompts=$((prompts + 1))
        poll 240 prompts_shown "$((prompts + 1))"
    }
    no_session() { ! tmux -S "$socket" has-session 2>/dev/null; }
    prompts_shown() { shown '>' && [ "$(grep -c '^[A-Z]:\\.*>' "$screen")" -ge "$1" ]; }
    # Each line waits for the prompt after it: typed ahead, it would go to the console's input while
    # the program still runs.
    local status=0
    poll 240 prompts_shown 1 &&
        type_line "cd /d \"$folder\"" &&
        type_line "telvoran-dali-toolbox --scan $url" &&
        type_line 'echo status=%ERRORLEVEL%' &&
        type_line 'telvoran-dali-toolbox --version > "%PUBLIC%\version.txt"' || status=$?
    tmux -S "$socket" send-keys -t 0 -l exit 2>/dev/null || true
    tmux -S "$socket" send-keys -t 0 Enter 2>/dev/null || true
    poll 20 no_session || tmux -S "$socket" kill-server 2>/dev/null || true
    cat "$screen"
    [ "$status" -eq 0 ]
    # The lines after the command: the reason, then the next prompt; then the exit status.
    grep -A1 -F ">telvoran-dali-toolbox --scan $url" "$screen" | tail -n1 | grep -qxF "$reason"
    grep -A2 -F ">telvoran-dali-toolbox --scan $url" "$screen" | tail -n1 | grep -q '^[A-Z]:\\.*>echo status='
    grep -qx 'status=1' "$screen"
    grep -q "^telvoran-dali-toolbox $(toolbox_version)" <(tr -d '\r' <"$prefix/drive_c/users/Public/version.txt")
}

# window_erase OUT: the simulator's log shows the erase sent to the DALI module and acknowledged.
window_erase() {
    grep -q 'PC->BUS COSETDATA .*-> 3:3F12D687' "$1/sim-window.log"
    grep -q 'BUS->PC COACKN .*3:3F12D687 -> 1' "$1/sim-window.log"
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
    check "installed: program, console companion, Qt, platform plugin, runtime, uninstaller" \
        test -f "$folder/telvoran-dali-toolbox.exe" -a -f "$folder/telvoran-dali-toolbox.com" -a \
        -f "$folder/Qt5Widgets.dll" -a -f "$folder/platforms/qwindows.dll" -a -f "$folder/libwinpthread-1.dll" -a \
        -f "$folder/Uninstall.exe"
    check "install folder at most 25 MB, installer at most 12 MB" windows_sizes "$folder" "$installer"
    check "Start-menu entry, in a folder without the version, starts the window program" \
        windows_start_menu_entry "$prefix"
    check "installer wrote HKLM\\Software\\Telvoran2" vendor_key "$prefix"

    env -u DISPLAY "$run" "$exe" --version >"$out/version.txt" 2>&1 || true
    check "--version" grep -q "^telvoran-dali-toolbox $(toolbox_version)" \
        <(tr -d '\r' <"$out/version.txt")
    env -u DISPLAY "$run" "$exe" --help >"$out/help.txt" 2>&1 || true
    check "--help lists --scan and --log, and a serial port as COM3" windows_help "$out/help.txt"

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

    # A TCP port where nothing listens: bound, then released.
    local closed
    closed=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    check "console companion at a cmd prompt: the reason on the console, 1 in %ERRORLEVEL%" \
        windows_cmd_prompt "$prefix" "$out" "$closed"

    # The window: connect over UDP, Scan (Alt+S), Erase (Alt+E), answer Yes (Alt+Y), with the
    # diagnostics in a file (--log) and the frames in a trace (--trace).
    # The runs above had no display, and the prefix's desktop process (explorer.exe /desktop) may
    # still be alive without one: a window would then go nowhere. A new wineserver starts with ours.
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    WINEPREFIX=$prefix wineserver -w
    local display_log="$out/xvfb.log" xvfb_pid display
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$out/display" >"$display_log" 2>&1 &
    xvfb_pid=$!
    poll 50 test -s "$out/display" || true
    display=:$(cat "$out/display")
    sim_start "$out/sim-window.log" --udp 127.0.0.1:0 --module LUX42:0x12D687:3 --module REL08:66:1
    url=$sim_url
    local public="$prefix/drive_c/users/Public"
    DISPLAY=$display "$run" "$exe" --log 'C:\users\Public\toolbox.log' --trace 'C:\users\Public\toolbox.trace' "$url" \
        >"$out/window.out" 2>&1 &
    local window_pid=$! wid="" question=""
    # On the virtual display; no step of the drive can stop the script.
    xdo() { DISPLAY=$display xdotool "$@" || true; }
    # window_ids [EXCEPT]: the program's windows but EXCEPT, oldest first; fails when there is none.
    window_ids() { xdo search --name 'Telvoran2 DALI toolbox' 2>/dev/null | grep -vx "${1:-}"; }
    # mapped WINDOW: the window is on the screen.
    mapped() { xdo search --onlyvisible --name 'Telvoran2 DALI toolbox' 2>/dev/null | grep -qx "$1"; }
    # still_screen: the screen is the same in two shots in a row (the window has drawn its last
    # change); settle waits for that.
    still_screen() {
        DISPLAY=$display import -window root "$out/shot.png" 2>/dev/null || return 1
        local now
        now=$(md5sum <"$out/shot.png")
        [ "$now" = "$(cat "$out/shot.md5" 2>/dev/null)" ] && return 0
        echo "$now" >"$out/shot.md5"
        return 1
    }
    settle() {
        rm -f "$out/shot.md5"
        poll 40 still_screen || true
    }
    # press HOW WINDOW KEY CONDITION...: puts the pointer on WINDOW and types KEY, then waits up to
    # ten seconds for CONDITION; three times at most, as a key typed before Wine made the window its
    # active one is lost. Without a window manager the keys go to the window under the pointer;
    # HOW is "click" for the main window (a click on the logo, where it does nothing else, makes it
    # Wine's active window) or "point" for a dialog, which is active once shown.
    press() {
        local how=$1 window=$2 key=$3 _
        shift 3
        for _ in 1 2 3; do
            if [ "$how" = click ]; then
                xdo mousemove --window "$window" 120 40 click 1
            else
                xdo mousemove --window "$window" 250 20
            fi
            xdo key "$key"
            poll 20 "$@" && return 0
        done
        return 1
    }
    rm -f "$TOOLBOX_ROOT/$WINDOWS_SCREENSHOT"
    # A new prefix's first window takes a while under load.
    poll 360 window_ids >/dev/null || true
    wid=$(window_ids | head -n1) || true
    check "window shown" test -n "$wid"
    [ -n "$wid" ] || tail -n 20 "$out/window.out" >&2
    if [ -n "$wid" ]; then
        # The window opened a session with the module on its own, and has drawn itself.
        poll 60 grep -q 'session opened' "$out/sim-window.log" || true
        poll 40 mapped "$wid" || true
        settle
        press click "$wid" alt+s grep -q 'PC->BUS COSCAN' "$out/sim-window.log" || true
        # The window acknowledged the scan's last report: the table is shown, Erase is enabled.
        poll 60 grep -q 'scan finished' "$out/sim-window.log" || true
        settle
        # The question is the newest window of the program's title.
        press click "$wid" alt+e window_ids "$wid" >/dev/null || true
        question=$(window_ids "$wid" | tail -n1) || true
        if [ -n "$question" ]; then
            poll 20 mapped "$question" || true
            press point "$question" alt+y grep -q 'PC->BUS COSETDATA' "$out/sim-window.log" || true
        fi
        poll 40 grep -q 'BUS->PC COACKN .*3:3F12D687' "$out/sim-window.log" || true
        # The program has taken the acknowledgement, and the window shows the outcome.
        poll 40 grep -q 'BUS->PC .*COACKN .*3:3F12D687' "$public/toolbox.trace" || true
        settle
        cp "$out/shot.png" "$TOOLBOX_ROOT/$WINDOWS_SCREENSHOT" 2>/dev/null || true
        xdo mousemove --window "$wid" 120 40 click 1 key ctrl+q
    fi
    poll 40 gone "$window_pid" || true
    kill "$window_pid" 2>/dev/null || true
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    sim_stop
    kill "$xvfb_pid" 2>/dev/null || true
    check "window: scan reached the bus and the table came back" grep -q 'COTRANSTABLE' "$out/sim-window.log"
    check "window: erase sent to the DALI module and acknowledged by it" window_erase "$out"
    check "window: --trace written" grep -q 'COSETDATA' "$public/toolbox.trace"
    check "window: --log written" test -s "$public/toolbox.log"
    check "screenshot taken" test -s "$TOOLBOX_ROOT/$WINDOWS_SCREENSHOT"

    # The uninstaller copies itself away and returns at once; wineserver -w waits for that copy.
    check "uninstaller /S" timeout 300 env -u DISPLAY "$run" "$folder/Uninstall.exe" /S
    WINEPREFIX=$prefix wineserver -w
    check "install folder gone after uninstall" test ! -e "$folder/telvoran-dali-toolbox.exe"
    check "no HKLM\\Software\\Telvoran2 left after uninstall" no_vendor_key "$prefix"
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
    check "program is a 64-bit GUI program with its icon and version, its companion a console program" \
        windows_programs "$build_dir/toolbox/app"

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
