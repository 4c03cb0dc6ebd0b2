# The Debian package: built by scripts/package, checked by scripts/test --package.
# shellcheck shell=bash

PACKAGE_NAME=telvoran-dali-toolbox
# dpkg-shlibdeps (dpkg-dev) computes the dependencies; CPack finds the executables with file.
PACKAGE_BUILD_TOOLS=(dpkg-dev file help2man)
PACKAGE_CHECK_TOOLS=(lintian desktop-file-utils appstream man-db)

# build_package [cmake arguments...]: configures and builds build-package/ with Debian's hardening
# flags, runs CPack, sets PACKAGE_DEB and prints it on stdout; everything else goes to stderr.
# shellcheck disable=SC2120 # scripts/package hands its -D arguments on
build_package() {
    ensure_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_BUILD_TOOLS[@]}" >&2
    local build_dir="$TOOLBOX_ROOT/build-package" cxxflags ldflags
    # The changelog and the man pages carry the date of the last commit, so a rebuild of the same
    # commit gives the same files.
    if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
        SOURCE_DATE_EPOCH=$(git -C "$TOOLBOX_ROOT" log -1 --format=%ct 2>/dev/null || date +%s)
        export SOURCE_DATE_EPOCH
    fi
    # Debian's hardening flags, all of them (bindnow too); -g only lengthens the build, as CPack
    # strips the programs.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cxxflags="$(DEB_CXXFLAGS_MAINT_STRIP=-g dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
    ldflags=$(dpkg-buildflags --get LDFLAGS)
    {
        cmake -S "$TOOLBOX_ROOT" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
            -DTOOLBOX_BUILD_TESTS=OFF -DTOOLBOX_BUILD_BENCH=OFF -DTOOLBOX_MAN_PAGES=ON \
            -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" "$@"
        cmake --build "$build_dir" -j"$(nproc)"
    } >&2
    # Through a file: a tee to /dev/stderr would truncate a log file that stderr goes to.
    local status=0
    (cd "$build_dir" && cpack -G DEB) >"$build_dir/cpack.log" 2>&1 || status=$?
    cat "$build_dir/cpack.log" >&2
    [ "$status" -eq 0 ] || return "$status"
    PACKAGE_DEB=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$build_dir/cpack.log")
    if [ -z "$PACKAGE_DEB" ] || [ ! -f "$PACKAGE_DEB" ]; then
        echo "CPack named no package" >&2
        return 1
    fi
    echo "$PACKAGE_DEB"
}

# What the package must hold, beside the directories; dpkg-deb --contents names them with a leading ".".
PACKAGE_FILES=(
    /usr/bin/telvoran-dali-toolbox
    /usr/bin/telvoran-bus-sim
    /usr/share/applications/telvoran-dali-toolbox.desktop
    /usr/share/icons/hicolor/scalable/apps/telvoran-dali-toolbox.svg
    /usr/lib/udev/rules.d/70-telvoran-bus.rules
    /usr/share/metainfo/org.telvoran2.dali_toolbox.metainfo.xml
    /usr/share/man/man1/telvoran-dali-toolbox.1.gz
    /usr/share/man/man1/telvoran-bus-sim.1.gz
    /usr/share/doc/telvoran-dali-toolbox/copyright
    /usr/share/doc/telvoran-dali-toolbox/changelog.gz
)
for size in 16 24 32 48 64 128 256; do
    PACKAGE_FILES+=("/usr/share/icons/hicolor/${size}x${size}/apps/telvoran-dali-toolbox.png")
done
# Where an install can leave files; compared before the install and after the purge. man-db's index
# (/var/cache/man) is left out: its trigger also indexes what earlier installs left for it.
PACKAGE_WATCHED_DIRS=(/etc /opt /usr /var/lib /var/cache)

package_fail() {
    echo "package check FAILED: $*" >&2
    return 1
}

# check_package_contents DEB: every file above. (A package without dpkg-shlibdeps' dependencies
# fails lintian already: undeclared-elf-prerequisites, missing-dependency-on-libc.)
check_package_contents() {
    local deb=$1 contents file
    contents=$(dpkg-deb --contents "$deb" | awk '{ print $NF }' | sed 's/^\.//')
    for file in "${PACKAGE_FILES[@]}"; do
        grep -qxF "$file" <<<"$contents" || package_fail "$file is not in the package"
    done
    echo "contents: ${#PACKAGE_FILES[@]} files present; Depends: $(dpkg-deb --field "$deb" Depends)"
}

# check_modaliases ROOT: the AppStream metadata names every USB device of the udev rule, so that a
# software centre offers the package for each.
check_modaliases() {
    local root=$1 vendor product count=0
    while read -r vendor product; do
        grep -qF "<modalias>usb:v${vendor^^}p${product^^}d*</modalias>" "$root"/usr/share/metainfo/*.metainfo.xml ||
            package_fail "no modalias for the udev rule's $vendor:$product"
        count=$((count + 1))
    done < <(sed -n -e '/^[[:space:]]*#/d' \
        -e 's/.*ATTRS{idVendor}=="\([0-9a-fA-F]*\)".*ATTRS{idProduct}=="\([0-9a-fA-F]*\)".*/\1 \2/p' \
        "$root"/usr/lib/udev/rules.d/*.rules)
    [ "$count" -gt 0 ] || package_fail "the udev rule matches no USB device"
    echo "modaliases: the $count USB devices of the udev rule"
}

# check_udev_reload CONTROL_DIR: the maintainer scripts reload the udev rules when udev answers and
# do nothing, successfully, when it does not; a stand-in udevadm records the calls.
check_udev_reload() {
    local control=$1 fake script ping expected
    fake=$(mktemp -d)
    cat >"$fake/udevadm" <<'UDEVADM'
#!/bin/sh
echo "$*" >>"$UDEVADM_LOG"
[ "$*" != "control --ping" ] || exit "$UDEVADM_PING"
UDEVADM
    chmod 755 "$fake/udevadm"
    for script in "postinst configure" "postrm remove"; do
        for ping in 0 1; do
            expected="control --ping"
            [ "$ping" -eq 1 ] || expected+=$'\ncontrol --reload-rules\ntrigger --subsystem-match=usb'
            : >"$fake/log"
            # shellcheck disable=SC2086
            PATH="$fake:$PATH" UDEVADM_LOG="$fake/log" UDEVADM_PING=$ping sh "$control"/$script ||
                package_fail "$script failed (udevadm control --ping gave $ping)"
            [ "$(cat "$fake/log")" = "$expected" ] ||
                package_fail "$script (udevadm control --ping gave $ping) called: $(cat "$fake/log")"
        done
    done
    rm -rf "$fake"
    echo "maintainer scripts: udev rules reloaded when udev runs, nothing done otherwise"
}

snapshot_files() {
    find "${PACKAGE_WATCHED_DIRS[@]}" -xdev -path /var/cache/man -prune -o -print 2>/dev/null | sort
}

# install_run_purge DEB: installs with apt-get, runs both programs from /usr/bin, finds the man
# pages and purges.
install_run_purge() {
    local deb=$1 version output
    version=$(dpkg-deb --field "$deb" Version)
    # On failure the package goes again, so that the machine is left as it was found.
    trap 'DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "$PACKAGE_NAME" >/dev/null 2>&1 || true' EXIT
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb"
    output=$(/usr/bin/telvoran-dali-toolbox --version)
    [ "$output" = "telvoran-dali-toolbox $version" ] || package_fail "toolbox --version printed: $output"
    output=$(/usr/bin/telvoran-bus-sim --help) || package_fail "telvoran-bus-sim --help failed"
    [[ "$output" == *--udp* ]] || package_fail "telvoran-bus-sim --help printed: $output"
    for output in telvoran-dali-toolbox telvoran-bus-sim; do
        [ "$(man -w "$output")" = "/usr/share/man/man1/$output.1.gz" ] || package_fail "man -w $output"
    done
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "$PACKAGE_NAME"
    trap - EXIT
    echo "installed, ran $version from /usr/bin, found both man pages, purged"
}

# run_package_checks: scripts/test --package.
run_package_checks() {
    ensure_packages "${PACKAGE_CHECK_TOOLS[@]}"
    local deb work
    # Not in a command substitution, which would run the build without errexit.
    # shellcheck disable=SC2119
    build_package >/dev/null
    deb=$PACKAGE_DEB
    echo "package: $deb"
    work=$(mktemp -d)
    dpkg-deb --extract "$deb" "$work/root"
    dpkg-deb --control "$deb" "$work/control"
    # Errors and warnings fail; a warning that must stay is overridden, with the reason, in the package.
    lintian --fail-on error,warning "$deb"
    echo "lintian: no error, no warning"
    desktop-file-validate "$work/root/usr/share/applications/telvoran-dali-toolbox.desktop"
    # The tree form also checks the launchable against the desktop file beside it.
    appstreamcli validate-tree --no-net --strict "$work/root"
    check_package_contents "$deb"
    check_modaliases "$work/root"
    if dpkg-query -W -f='${Status}' "$PACKAGE_NAME" 2>/dev/null | grep -q 'ok installed'; then
        echo "purging the $PACKAGE_NAME installed before this check"
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "$PACKAGE_NAME" >/dev/null
    fi
    # From here on the checks run the package's own code on this machine, the maintainer scripts
    # outside dpkg included: whatever they leave shows in the file lists.
    snapshot_files >"$work/before"
    check_udev_reload "$work/control"
    install_run_purge "$deb"
    snapshot_files >"$work/after"
    diff "$work/before" "$work/after" || package_fail "the file list changed (above)"
    echo "file lists of ${PACKAGE_WATCHED_DIRS[*]}: the same before and after"
    rm -rf "$work"
}
