#!/usr/bin/env bash
# Starts and stops tools/list-service around the download tests (a CTest fixture), so that the same
# Linux server serves the native tests and the WinInet ones under Wine. The port goes to
# <state-dir>/port, which the tests read; the server's PID to <state-dir>/pid, by which it is stopped.
#   list-service-fixture.sh start <state-dir> <source-dir>
#   list-service-fixture.sh stop <state-dir>
set -euo pipefail

action=$1
state=$2
source "$(dirname "${BASH_SOURCE[0]}")/../../script/lib/peers.sh"

# Only the server this fixture started: the PID must still be a list-service process.
stop_server() {
    stop_pid_file "$state/pid" list-service.py
    rm -f "$state/port"
}

case "$action" in
start)
    source_dir=$3
    mkdir -p "$state"
    stop_server
    # Detached and with no tie to CTest's pipes, or CTest would wait for the server's output to end.
    setsid python3 "$source_dir/tools/list-service/list-service.py" --port 0 \
        --port-file "$state/port" --pid-file "$state/pid" \
        --proxies-file "$source_dir/tests/catalogue/data/proxies.txt" \
        --stall-seconds 40 --lifetime 1200 </dev/null >"$state/log" 2>&1 &
    for _ in $(seq 100); do
        if [ -s "$state/port" ] && [ -s "$state/pid" ]; then
            echo "list service on port $(cat "$state/port")"
            exit 0
        fi
        sleep 0.1
    done
    echo "the list service did not start:" >&2
    cat "$state/log" >&2
    exit 1
    ;;
stop)
    stop_server
    ;;
*)
    echo "usage: $0 start <state-dir> <source-dir> | stop <state-dir>" >&2
    exit 2
    ;;
esac
