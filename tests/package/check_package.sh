#!/usr/bin/env bash
# Checks the Debian package as a user gets it: unpacked into a temporary root, never installed.
#
#   check_package.sh build BUILD_DIR OUT_DIR   make the package into OUT_DIR (cpack)
#   check_package.sh contents OUT_DIR          files, dependencies, programs, menu entry,
#                                              unit, manual pages, maintainer scripts
#   check_package.sh role OUT_DIR              the service's command line beside the window:
#                                              one of them fires each task; SIGTERM ends the
#                                              service cleanly (needs root: namespace pair)
#
# Anything that talks to the network runs in network namespaces of its own.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
skip() {
    echo "SKIP: $*"
    exit 77
}
# wait_for SECONDS COMMAND...: true once COMMAND succeeds; checks ten times a second.
wait_for() {
    local limit=$(($1 * 10))
    shift
    for ((i = 0; i < limit; i++)); do
        if "$@"; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

unpack() {
    local out=$1
    deb=$(ls "$out"/vistrel_*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || fail "no package in $out (the package.build test makes it)"
    work=$(mktemp -d)
    root=$work/root
    dpkg-deb -x "$deb" "$root"
    mkdir -p "$work/control"
    dpkg-deb -e "$deb" "$work/control"
}

make_package() {
    local build=$1 out=$2
    rm -rf "$out"
    mkdir -p "$out"
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
        { cat "$out/cpack.log"; fail "cpack"; }
    ls "$out"/vistrel_*.deb >/dev/null || fail "cpack made no .deb"
    echo "package: $(ls "$out"/vistrel_*.deb)"
}

check_contents() {
    unpack "$1"
    trap 'rm -rf "$work"' EXIT
    local version
    version=$(dpkg-deb -f "$deb" Version)

    echo "== files"
    for f in usr/bin/vistrel usr/bin/vistrel-cli usr/bin/vistrel-sim \
        usr/share/applications/vistrel.desktop \
        usr/share/icons/hicolor/scalable/apps/vistrel.svg \
        usr/share/man/man1/vistrel.1.gz usr/share/man/man1/vistrel-cli.1.gz \
        usr/share/man/man1/vistrel-sim.1.gz \
        usr/lib/systemd/user/vistrel-schedules.service; do
        [ -f "$root/$f" ] || fail "the package lacks /$f"
    done
    # Installed, not enabled: no wants links come with the package.
    if find "$root" -name '*.wants' | grep -q .; then
        fail "the package enables a unit"
    fi

    echo "== dependencies"
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    for lib in libc6 libstdc++6 libcurl4 libqt6core6 libqt6gui6 libqt6widgets6 \
        libprometheus-cpp-core1.0 libprometheus-cpp-pull1.0; do
        grep -qw "$lib" <<<"$depends" || fail "Depends lacks $lib, which the programs link"
    done

    echo "== programs start from the unpacked root"
    local p line
    for p in vistrel vistrel-cli vistrel-sim; do
        line=$("$root/usr/bin/$p" --version)
        [ "$line" = "$p $version" ] || fail "$p --version says '$line', the package is $version"
    done
    # The window on its demo fleet (loopback only), in a network namespace of its own when
    # one can be had.
    local isolate=()
    if unshare -n true 2>/dev/null; then
        isolate=(unshare -n)
    elif unshare -rn true 2>/dev/null; then
        isolate=(unshare -rn)
    fi
    mkdir -p "$work/home"
    if ! HOME=$work/home XDG_CONFIG_HOME=$work/home/.config QT_QPA_PLATFORM=offscreen \
        timeout 60 "${isolate[@]}" sh -c 'ip link set lo up 2>/dev/null; exec "$@"' sh \
        "$root/usr/bin/vistrel" --demo 3 --screenshot "$work/window.png" --after 2 \
        >"$work/window.log" 2>&1; then
        cat "$work/window.log"
        fail "the window did not start and close by itself"
    fi
    [ -s "$work/window.png" ] || fail "the window saved no picture of itself"

    echo "== menu entry"
    local desktop=$root/usr/share/applications/vistrel.desktop
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
    if [ -n "$(desktop-file-validate "$desktop")" ]; then
        fail "desktop-file-validate has remarks"
    fi
    local exec icon
    exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [ -x "$root/usr/bin/$exec" ] || fail "the menu entry starts '$exec', which the package lacks"
    [ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
        fail "the menu entry's icon '$icon' is not in the hicolor theme"

    echo "== user unit"
    local unit=$root/usr/lib/systemd/user/vistrel-schedules.service
    grep -qx 'ExecStart=/usr/bin/vistrel-cli run-schedules' "$unit" ||
        fail "the unit does not run /usr/bin/vistrel-cli run-schedules"
    grep -qx 'Restart=on-failure' "$unit" || fail "the unit is not restarted on failure"
    if command -v systemd-analyze >/dev/null; then
        # Verified as installed, with the programs and manual pages of the unpacked root.
        sed "s#^ExecStart=/usr/#ExecStart=$root/usr/#" "$unit" >"$work/vistrel-schedules.service"
        mkdir -m 700 "$work/runtime"
        local remarks
        remarks=$(MANPATH=$root/usr/share/man XDG_RUNTIME_DIR=$work/runtime \
            systemd-analyze verify --user "$work/vistrel-schedules.service" 2>&1) ||
            { echo "$remarks"; fail "systemd-analyze verify"; }
        [ -z "$remarks" ] || { echo "$remarks"; fail "systemd-analyze verify has remarks"; }
    else
        echo "systemd-analyze is not installed: unit not verified"
    fi

    echo "== manual pages"
    local page text option
    for p in vistrel vistrel-cli vistrel-sim; do
        page=$root/usr/share/man/man1/$p.1.gz
        text=$(MANWIDTH=100 man --warnings -E UTF-8 -l "$page" 2>"$work/man.err") ||
            fail "man cannot render $p.1"
        if [ -s "$work/man.err" ]; then
            cat "$work/man.err"
            fail "$p.1 renders with warnings"
        fi
        grep -q "^NAME" <<<"$text" || fail "$p.1 has no NAME section"
        grep -q "$version" <<<"$text" || fail "$p.1 does not carry version $version"
        # Every option the program lists is on its page.
        for option in $("$root/usr/bin/$p" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
            grep -qF -- "$option" <<<"$text" || fail "$p.1 does not mention $option"
        done
    done

    echo "== maintainer scripts"
    local s
    for s in postinst prerm postrm; do
        [ -x "$work/control/$s" ] || fail "no executable $s"
        sh -n "$work/control/$s" || fail "$s is not valid sh"
    done
    # postinst against the unpacked programs: the capability where the file system keeps it,
    # the fallback message where it cannot be given.
    sed "s#/usr/bin/#$root/usr/bin/#g" "$work/control/postinst" >"$work/postinst"
    mkdir -p "$work/no-tools"
    PATH=$work/no-tools /bin/sh "$work/postinst" configure 2>"$work/fallback.err" ||
        fail "postinst fails where setcap is missing"
    grep -q "could not give $root/usr/bin/vistrel-cli the right to use UDP port 250" \
        "$work/fallback.err" || { cat "$work/fallback.err"; fail "no fallback message"; }
    if [ "$(id -u)" -eq 0 ] && command -v setcap >/dev/null && command -v getcap >/dev/null; then
        /bin/sh "$work/postinst" configure 2>"$work/postinst.err" || fail "postinst configure"
        if [ -s "$work/postinst.err" ]; then
            echo "postinst: $(cat "$work/postinst.err")  (this file system keeps no capabilities)"
        else
            for p in vistrel vistrel-cli; do
                getcap "$root/usr/bin/$p" | grep -q cap_net_bind_service ||
                    fail "postinst did not give $p the port capability"
            done
            getcap "$root/usr/bin/vistrel-sim" | grep -q . && fail "vistrel-sim got a capability"
        fi
    fi
    echo "package contents: all checks passed"
}

check_role() {
    [ "$(id -u)" -eq 0 ] || skip "network namespaces need root"
    command -v ip >/dev/null || skip "ip (iproute2) is missing"
    unpack "$1"
    # Globals: the exit trap reads them after this function has returned.
    name="pk$$"
    name=${name:0:10}
    pids=()
    cleanup() {
        for pid in "${pids[@]}"; do
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        done
        bash "$source_dir/scripts/netns-pair.sh" down "$name"
        rm -rf "$work"
    }
    trap cleanup EXIT
    bash "$source_dir/scripts/netns-pair.sh" up "$name" >/dev/null || skip "no namespace pair"
    local in_console=(ip netns exec "$name-c" env HOME="$work/home"
        XDG_CONFIG_HOME="$work/home/.config" TZ=UTC)
    local cli=$root/usr/bin/vistrel-cli
    local store=$work/home/.config/Brightwerk/registry.reg
    local lock=$store.vistrel.schedule.lock
    mkdir -p "$work/home/.config"

    # Two projectors with the real ports, on the far side of the pair.
    ip netns exec "$name-f" "$root/usr/bin/vistrel-sim" --first-address 10.77.128.1 --count 2 \
        --log "$work/sim.log" >"$work/sim.out" 2>&1 &
    pids+=($!)
    wait_for 20 grep -qs "vistrel-sim: 2 projectors" "$work/sim.out" || fail "the fleet did not start"
    local macs
    macs=$("${in_console[@]}" "$cli" discover --wait 2 --csv | grep -o '^[0-9A-F]\{12\}' || true)
    [ "$(wc -l <<<"$macs")" -eq 2 ] || fail "discovery found: $macs"
    local first second
    first=$(sed -n 1p <<<"$macs")
    second=$(sed -n 2p <<<"$macs")

    # The service, started with the unit's own command line, takes the role.
    local exec_start
    exec_start=$(sed -n 's/^ExecStart=//p' "$root/usr/lib/systemd/user/vistrel-schedules.service")
    read -r -a service_argv <<<"$exec_start"
    service_argv[0]=$root${service_argv[0]}
    "${in_console[@]}" "${service_argv[@]}" >"$work/service.log" 2>&1 &
    local service=$!
    pids+=($service)
    wait_for 30 grep -qs "holding the schedule role" "$work/service.log" ||
        { cat "$work/service.log"; fail "the service did not take the schedule role"; }

    # The window opens on the real profile: the service leaves it the role and the port.
    "${in_console[@]}" QT_QPA_PLATFORM=offscreen "$root/usr/bin/vistrel" >"$work/window.log" 2>&1 &
    local window=$!
    pids+=($window)
    wait_for 30 grep -qs "a console window opened" "$work/service.log" ||
        { cat "$work/service.log"; fail "the service did not stand aside for the window"; }
    wait_for 30 grep -qs "console window" "$lock" ||
        { cat "$work/window.log"; fail "the window never took the schedule role"; }

    # A due task while both run: fired once, by the window (which could not find the projector
    # had the service kept the port).
    local past
    sent() { grep -c "command=~0000 $1" "$work/sim.log" || true; }
    task_done() { "${in_console[@]}" "$cli" schedule list --projector "$1" --csv |
        grep -q "^projector,$1,$2,no,"; }
    past=$(date -u -d '-2 min' '+%F %T')
    "${in_console[@]}" "$cli" schedule set --projector "$first" --task 1 --enable --period once \
        --date "${past% *}" --time "${past#* }" --command off >/dev/null
    wait_for 30 task_done "$first" 1 || fail "the window did not fire the task"
    wait_for 10 test "$(sent 0)" -ge 1 || fail "the power-off command never reached the fleet"
    # A second firing could only come from a later check: give both programs a few of theirs
    # (the window checks every 2 s, the service every 2 s and 5 s).
    sleep 6
    [ "$(sent 0)" -eq 1 ] || fail "the task fired $(sent 0) times"
    grep -q "due: sending" "$work/service.log" && fail "the service fired while the window held the role"

    # The window ends: the service takes over and fires the next due task itself.
    kill -TERM "$window"
    wait "$window" 2>/dev/null || true
    wait_for 30 grep -qs "took over the schedule role" "$work/service.log" ||
        { cat "$work/service.log"; fail "the service did not take over"; }
    past=$(date -u -d '-1 min' '+%F %T')
    "${in_console[@]}" "$cli" schedule set --projector "$second" --task 2 --enable --period once \
        --date "${past% *}" --time "${past#* }" --command on >/dev/null
    wait_for 40 grep -qs "Power_On: OK" "$work/service.log" ||
        { cat "$work/service.log"; fail "the service did not fire the task"; }
    [ "$(sent 1)" -eq 1 ] || fail "the power-on command went out $(sent 1) times"

    # SIGTERM, as systemd stops the unit: a clean and prompt end.
    local started status=0
    started=$(date +%s%N)
    kill -TERM "$service"
    wait "$service" || status=$?
    local took=$((($(date +%s%N) - started) / 1000000))
    echo "service ended $took ms after SIGTERM with status $status"
    [ "$status" -eq 0 ] || { cat "$work/service.log"; fail "the service ended with status $status"; }
    tail -n 1 "$work/service.log" | grep -q "stopping" || fail "the service did not stop cleanly"
    echo "schedule role: all checks passed"
}

case ${1:-} in
build) make_package "$2" "$3" ;;
contents) check_contents "$2" ;;
role) check_role "$2" ;;
*)
    echo "usage: $0 build BUILD_DIR OUT_DIR | contents OUT_DIR | role OUT_DIR" >&2
    exit 2
    ;;
esac
