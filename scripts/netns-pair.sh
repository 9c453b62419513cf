#!/usr/bin/env bash
# A console namespace and a fleet namespace joined by a veth pair, for running the console
# and vistrel-sim with the real ports (250, 80) and the limited broadcast, away from the
# machine's own network. Needs root. Same layout as the tests' NetnsPair helper:
#   console side 10.77.0.1/16, default route via the fleet side 10.77.0.2/16;
#   every address of 10.77.128.0/17 is local on the fleet side (projectors from 10.77.128.1).
#
#   scripts/netns-pair.sh up NAME      creates NAME-c and NAME-f
#   scripts/netns-pair.sh down NAME    removes them
# then e.g.
#   ip netns exec NAME-f build/src/vistrel-sim --first-address 10.77.128.1 --count 50 &
#   ip netns exec NAME-c <console command>
set -euo pipefail

usage() {
    echo "usage: $0 up|down NAME" >&2
    exit 2
}
[ $# -eq 2 ] || usage
action=$1
name=$2
[[ $name =~ ^[A-Za-z0-9_-]{1,10}$ ]] || { echo "NAME: up to 10 letters, digits, - or _" >&2; exit 2; }
console="$name-c"
fleet="$name-f"

case $action in
up)
    if [ "$(id -u)" -ne 0 ]; then
        echo "network namespaces need root" >&2
        exit 77
    fi
    trap 'ip netns del "$fleet" 2>/dev/null || true; ip netns del "$console" 2>/dev/null || true' ERR
    ip netns add "$console"
    ip netns add "$fleet"
    ip -n "$console" link add "vc$name" type veth peer name "vf$name" netns "$fleet"
    ip -n "$console" addr add 10.77.0.1/16 dev "vc$name"
    ip -n "$fleet" addr add 10.77.0.2/16 dev "vf$name"
    ip -n "$console" link set lo up
    ip -n "$fleet" link set lo up
    ip -n "$console" link set "vc$name" up
    ip -n "$fleet" link set "vf$name" up
    ip -n "$fleet" route add local 10.77.128.0/17 dev lo
    ip -n "$console" route add default via 10.77.0.2 dev "vc$name"
    echo "console namespace $console, fleet namespace $fleet"
    ;;
down)
    ip netns del "$fleet" 2>/dev/null || true
    ip netns del "$console" 2>/dev/null || true
    ;;
*)
    usage
    ;;
esac
