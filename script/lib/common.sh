# Shared by the scripts: where things are, how each build is configured, and the Wine and X display
# sessions that the Windows programs and tests run in.

VESTREL_SOURCE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
VESTREL_BUILD_ROOT="${VESTREL_BUILD_ROOT:-$VESTREL_SOURCE_DIR/build}"
export VESTREL_SOURCE_DIR VESTREL_BUILD_ROOT

# vestrel_configure <name>: configures $VESTREL_BUILD_ROOT/<name> (native, sanitize, tsan, windows).
vestrel_configure() {
    local name="$1" dir="$VESTREL_BUILD_ROOT/$1"
    local args=(-S "$VESTREL_SOURCE_DIR" -B "$dir" -G Ninja -Wno-dev)
    case "$name" in
        native) args+=(-DCMAKE_BUILD_TYPE=Debug) ;;
        sanitize) args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESTREL_SANITIZE=ON) ;;
        tsan) args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESTREL_TSAN=ON) ;;
        windows) args+=(-DCMAKE_BUILD_TYPE=Release
                        -DCMAKE_TOOLCHAIN_FILE="$VESTREL_SOURCE_DIR/cmake/mingw-w64-x86_64.cmake") ;;
        *) echo "unknown build $name" >&2; return 1 ;;
    esac
    cmake "${args[@]}" >"$dir.configure.log" 2>&1 || { mkdir -p "$dir"; cmake "${args[@]}" >"$dir.configure.log" 2>&1; }
}

# vestrel_build <name> [targets...]
vestrel_build() {
    local name="$1"
    shift
    vestrel_configure "$name" || { tail -n 30 "$VESTREL_BUILD_ROOT/$name.configure.log" >&2; return 1; }
    cmake --build "$VESTREL_BUILD_ROOT/$name" -j "$(nproc)" ${1:+--target "$@"} >"$VESTREL_BUILD_ROOT/$name.build.log" 2>&1 ||
        { grep -E -B2 -A12 'error|FAILED' "$VESTREL_BUILD_ROOT/$name.build.log" | head -n 80 >&2; return 1; }
}

# Starts Xvfb on a free display unless one is given; sets DISPLAY and VESTREL_XVFB_PID. The screen
# holds the main window at 200 % (1538 x 1024).
vestrel_start_xvfb() {
    local display
    for display in $(seq 90 140); do
        [[ -e "/tmp/.X11-unix/X$display" || -e "/tmp/.X$display-lock" ]] && continue
        Xvfb ":$display" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 &
        VESTREL_XVFB_PID=$!
        local tries
        for tries in $(seq 1 50); do
            [[ -e "/tmp/.X11-unix/X$display" ]] && break
            sleep 0.1
        done
        if kill -0 "$VESTREL_XVFB_PID" 2>/dev/null; then
            export DISPLAY=":$display" VESTREL_XVFB_PID
            return 0
        fi
    done
    echo "could not start Xvfb" >&2
    return 1
}

vestrel_stop_xvfb() {
    if [[ -n "${VESTREL_XVFB_PID:-}" ]]; then
        kill "$VESTREL_XVFB_PID" 2>/dev/null || true
        wait "$VESTREL_XVFB_PID" 2>/dev/null || true
        VESTREL_XVFB_PID=""
    fi
}

# Boots the private Wine prefix once and keeps its wineserver alive, so that Wine's service processes
# start here rather than inside a test runner (whose output pipes they would otherwise hold open).
vestrel_start_wine() {
    export WINEPREFIX="${WINEPREFIX:-$VESTREL_BUILD_ROOT/wineprefix}"
    export WINEDEBUG="${WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot -i </dev/null >"$VESTREL_BUILD_ROOT/wineboot.log" 2>&1 || true
    # wineboot returns before the first boot's last services are up; wait until the registry is written.
    local tries
    for tries in $(seq 1 100); do
        [[ -s "$WINEPREFIX/system.reg" && -s "$WINEPREFIX/user.reg" ]] && break
        sleep 0.2
    done
}

vestrel_stop_wine() {
    [[ -n "${WINEPREFIX:-}" ]] && WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
}
