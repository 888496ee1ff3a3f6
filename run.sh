#!/usr/bin/env bash
# Installs what is needed, builds the application, installs it in the applications folder and starts it.
# Without TESSARON_PAIRING_BASE_URL the build points at the local service, which this script starts on
# loopback (port TESSARON_LOCAL_SERVICE_PORT, or a free one) and stops again. Without a display the
# application runs under Xvfb, and the script writes a screenshot of it and prints the file's path.
# TESSARON_RUN_BUILD names another build folder, TESSARON_RUN_BUILD_TYPE another build type and
# TESSARON_RUN_SANITIZE=ON builds under the sanitizers (the walk of tests/walk/ builds with the test build's
# own flags, so the compiler cache hands it the test build's objects). `./run.sh --build-only` builds and
# installs without starting anything.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
build=${TESSARON_RUN_BUILD:-$root/build-run}
bin=$build/bin
service=$build/local-service

background=()
stop_background() {
    for ((i = ${#background[@]} - 1; i >= 0; i--)); do
        kill "${background[i]}" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap stop_background EXIT

accepts_connections() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# The port of the previous run when it is still free, so an unchanged build is not configured again.
# The default lies below the range the system hands out to outgoing connections.
choose_service_port() {
    if [ -n "${TESSARON_LOCAL_SERVICE_PORT:-}" ]; then
        echo "$TESSARON_LOCAL_SERVICE_PORT"
        return
    fi
    local port
    port=$(sed -n 's|^TESSARON_PAIRING_BASE_URL:STRING=https://127.0.0.1:\([0-9]*\)$|\1|p' \
        "$build/CMakeCache.txt" 2>/dev/null || true)
    port=${port:-27443}
    while accepts_connections "$port"; do
        port=$((port + 1))
    done
    echo "$port"
}

# The certificates last 30 days; make new ones well before they run out.
make_certificates() {
    if [ -f "$service/server.pem" ] && ! openssl x509 -checkend 86400 -noout -in "$service/server.pem" >/dev/null; then
        rm -f "$service"/ca.* "$service"/server.*
    fi
    tools/make-certs.sh "$service"
}

start_local_service() {
    "$bin/tessaron-local-service" "$1" "$service/server.pem" "$service/server.key" "$service/data" &
    local pid=$!
    background+=("$pid")
    for _ in $(seq 100); do
        accepts_connections "$1" && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "The local service did not start on port $1; choose another with TESSARON_LOCAL_SERVICE_PORT." >&2
    exit 1
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

build_only=false
[ "${1:-}" = "--build-only" ] && build_only=true

echo "== Checking the packages the build needs"
tools/install-deps.sh

tools/forget-other-compiler.sh "$build"
configure=(-S . -B "$build" -G Ninja "-DCMAKE_BUILD_TYPE=${TESSARON_RUN_BUILD_TYPE:-RelWithDebInfo}"
    -DCMAKE_CXX_COMPILER=clang++-16 -DTESSARON_BUILD_TESTS=OFF -DTESSARON_WERROR=OFF
    "-DTESSARON_SANITIZE=${TESSARON_RUN_SANITIZE:-OFF}")
port=""
if [ -z "${TESSARON_PAIRING_BASE_URL:-}" ]; then
    port=$(choose_service_port)
    make_certificates
    # The local service also serves the release feed and the download page, so the update check, the
    # update card and the required cover work against it too (its data folder's release.json sets the feed).
    configure+=(-DTESSARON_LOCAL_SERVICE=ON
        "-DTESSARON_PAIRING_BASE_URL=https://127.0.0.1:$port"
        "-DTESSARON_WEB_BASE_URL=https://127.0.0.1:$port"
        "-DTESSARON_REACHABILITY_URL=https://127.0.0.1:$port/success.txt"
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
applications=$(sed -n 's|^TESSARON_APPLICATIONS_DIR:PATH=||p' "$build/CMakeCache.txt")
app=$applications/Tessaron
cmake --install "$build" --prefix "$app" >/dev/null
echo "Installed in $app"
tools/register-url-handler.sh "$app"
$build_only && exit 0

if [ -n "$port" ]; then
    start_local_service "$port"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    run_headless
else
    "$app/tessaron"
fi
