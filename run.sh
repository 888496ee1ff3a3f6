#!/usr/bin/env bash
# Installs what is needed, builds the application, installs it in the applications folder and starts it.
# Without TESSARON_PAIRING_BASE_URL the build points at the local service, which this script starts on
# loopback (port TESSARON_LOCAL_SERVICE_PORT, or a free one) and stops again. The application opens only
# once that service answers as itself: when another program took a free port during the build, the build
# moves to another free port; a port named in TESSARON_LOCAL_SERVICE_PORT stops the script instead, with
# a message; a previous build's port that another program took moves too, and the script says so. Without a
# display the application runs under Xvfb, and the script writes a screenshot of it and prints the file's
# path once the window painted (or says that it never did). While Tessaron runs, the script says so and does
# nothing else: it builds, installs and starts nothing.
# TESSARON_RUN_BUILD names another build folder, TESSARON_RUN_BUILD_TYPE another build type and
# TESSARON_RUN_SANITIZE=ON builds under the sanitizers (the walk of tests/walk/ builds with the test build's
# own flags, so the compiler cache hands it the test build's objects). `./run.sh --build-only` builds and
# installs without starting anything, also while Tessaron runs (the walk installs a copy in a home of its own).
# The tests source this file for its functions: it runs only when started.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${TESSARON_RUN_BUILD:-$root/build-run}
bin=$build/bin
service=$build/local-service
# shellcheck source=tools/local-service.sh
source "$root/tools/local-service.sh"

background=()
stop_background() {
    for ((i = ${#background[@]} - 1; i >= 0; i--)); do
        kill "${background[i]}" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap stop_background EXIT

# The port of the previous run when it can be had, so an unchanged build is not configured again.
# The default lies below the range the system hands out to outgoing connections.
choose_service_port() {
    if [ -n "${TESSARON_LOCAL_SERVICE_PORT:-}" ]; then
        reserve_port "$TESSARON_LOCAL_SERVICE_PORT" || stop_port_taken "$TESSARON_LOCAL_SERVICE_PORT"
        echo "$TESSARON_LOCAL_SERVICE_PORT"
        return
    fi
    local wanted port
    wanted=$(sed -n 's|^TESSARON_PAIRING_BASE_URL:STRING=https://127.0.0.1:\([0-9]*\)$|\1|p' \
        "$build/CMakeCache.txt" 2>/dev/null || true)
    wanted=${wanted:-27443}
    port=$(reserve_free_port "$wanted")
    [ "$port" = "$wanted" ] ||
        echo "== Port $wanted is in use by another program; the local service moves to port $port" >&2
    echo "$port"
}

# The pid of the Tessaron this user runs here, found as a second start of the application finds it: by the
# lock the running one holds in its runtime folder. Fails when none runs, also after one quit or crashed.
running_tessaron() {
    local folder=${XDG_RUNTIME_DIR:-}
    [[ $folder == /* ]] || folder=${TMPDIR:-/tmp}/tessaron-$(id -u)
    local lock=$folder/tessaron-app.lock status=0
    [ -f "$lock" ] || return 1
    flock --nonblock --shared --conflict-exit-code 75 "$lock" true 2>/dev/null || status=$?
    [ "$status" -eq 75 ] || return 1
    awk -v inode=":$(stat -c %i "$lock")" \
        '$2 == "FLOCK" && substr($6, length($6) - length(inode) + 1) == inode { print $5; exit }' /proc/locks
}

# A build would go for another port and be installed under the running application, and its start would
# only hand over to the running one: nothing is done, so that one and its local service go on as they are.
stop_if_running() {
    local pid
    pid=$(running_tessaron) || return 0
    echo "Tessaron is already running${pid:+ (process $pid)}: nothing was built, installed or started, and" \
        "it and its local service go on as they are. To run a new build, quit it first (Quit Tessaron in its" \
        "window's menu or its tray panel, Ctrl+Q, or Ctrl+C where ./run.sh started it), then run ./run.sh" \
        "again." >&2
    exit 1
}

# Configures, builds and installs the application for the local service on PORT, or for the pairing service
# TESSARON_PAIRING_BASE_URL names when PORT is empty.
build_and_install() {
    tools/forget-other-compiler.sh "$build"
    local configure=(-S . -B "$build" -G Ninja "-DCMAKE_BUILD_TYPE=${TESSARON_RUN_BUILD_TYPE:-RelWithDebInfo}"
        -DCMAKE_CXX_COMPILER=clang++-16 -DTESSARON_BUILD_TESTS=OFF -DTESSARON_WERROR=OFF
        "-DTESSARON_SANITIZE=${TESSARON_RUN_SANITIZE:-OFF}")
    if [ -n "$1" ]; then
        make_local_service_certificates "$service"
        # The local service also serves the release feed and the download page, so the update check, the
        # update card and the required cover work against it too (its data folder's release.json sets the
        # feed).
        configure+=(-DTESSARON_LOCAL_SERVICE=ON
            "-DTESSARON_PAIRING_BASE_URL=https://127.0.0.1:$1"
            "-DTESSARON_WEB_BASE_URL=https://127.0.0.1:$1"
            "-DTESSARON_REACHABILITY_URL=https://127.0.0.1:$1/success.txt"
            "-DTESSARON_LOCAL_SERVICE_CA=$service/ca.pem")
    else
        # Forget what a local-service build set, so the built-in defaults apply again.
        configure+=(-DTESSARON_LOCAL_SERVICE=OFF "-DTESSARON_PAIRING_BASE_URL=$TESSARON_PAIRING_BASE_URL"
            -UTESSARON_WEB_BASE_URL -UTESSARON_REACHABILITY_URL -UTESSARON_LOCAL_SERVICE_CA)
    fi
    echo "== Configuring $build"
    mkdir -p "$build"
    cmake "${configure[@]}" >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
    # Only what is installed or run here: the application, its tunnel, and the local service and screenshot
    # taker this script starts.
    echo "== Building the application (progress as [done/all])"
    cmake --build "$build" --target tessaron tessaron-tunnel tessaron-local-service tessaron-screenshot

    # The application runs from the applications folder, where it checks that it was installed.
    local applications
    applications=$(sed -n 's|^TESSARON_APPLICATIONS_DIR:PATH=||p' "$build/CMakeCache.txt")
    app=$applications/Tessaron
    cmake --install "$build" --prefix "$app" >/dev/null
    echo "Installed in $app"
    tools/register-url-handler.sh "$app"
}

# The port was free when the build began, but another program may have taken it since. A port the user named
# stays theirs; any other moves to a free one, which rebuilds only what names the port.
serve_local_service() {
    until start_local_service "$bin/tessaron-local-service" "$port" "$service" "$service/data"; do
        [ -z "${TESSARON_LOCAL_SERVICE_PORT:-}" ] || stop_port_taken "$port"
        local taken=$port
        port=$(reserve_free_port "$((port + 1))")
        echo "== Another program took port $taken during the build; building for port $port instead"
        build_and_install "$port"
    done
}

run_headless() {
    local display_file=$build/xvfb-display
    rm -f "$display_file"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$display_file" 2>"$build/xvfb.log" &
    background+=($!)
    for _ in $(seq 100); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    if [ ! -s "$display_file" ]; then
        echo "Xvfb did not start; see $build/xvfb.log." >&2
        exit 1
    fi
    DISPLAY=":$(head -n 1 "$display_file")"
    export DISPLAY

    openbox >"$build/openbox.log" 2>&1 &
    background+=($!)
    # A window shown before the window manager runs gets no frame and so no title bar in the picture.
    sleep 1

    QT_QPA_PLATFORM=xcb "$app/tessaron" &
    background+=($!)
    # The window appears first and fills in once the session is built: picture it after that.
    sleep 2
    local screenshot=$build/tessaron-screenshot.png
    "$bin/tessaron-screenshot" --window Tessaron --timeout 60 "$screenshot"
    echo "Screenshot of the application: $screenshot"
}

main() {
    cd "$root"
    local build_only=false
    [ "${1:-}" = "--build-only" ] && build_only=true
    $build_only || stop_if_running

    echo "== Checking the packages the build needs"
    tools/install-deps.sh

    port=""
    [ -n "${TESSARON_PAIRING_BASE_URL:-}" ] || port=$(choose_service_port)
    build_and_install "$port"
    $build_only && exit 0

    [ -z "$port" ] || serve_local_service
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        run_headless
    else
        "$app/tessaron"
    fi
}

[ "${BASH_SOURCE[0]}" != "$0" ] || main "$@"
