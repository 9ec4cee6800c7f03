#!/usr/bin/env bash
# Starts and stops tools/list-service around the download tests (a CTest fixture), so that the same
# Linux server serves the native tests and the WinInet ones under Wine. The port goes to
# <state-dir>/port, which the tests read; the server's PID to <state-dir>/pid, by which it is stopped.
#   list-service-fixture.sh start <state-dir> <source-dir>
#   list-service-fixture.sh stop <state-dir>
set -euo pipefail

state=$2
source "$(dirname "${BASH_SOURCE[0]}")/../../script/lib/peers.sh"

# Only the server this fixture started: the PID must still be a list-service process.
stop_all() {
    stop_pid_file "$state/pid" list-service.py
    rm -f "$state/port"
}

start_peers() {
    source_dir=$3
    mkdir -p "$state"
    stop_all
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
}

fixture_main "$@"
