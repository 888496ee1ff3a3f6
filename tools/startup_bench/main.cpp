// tessaron-startup-bench [--runs N] APPLICATION
// Starts APPLICATION and the bare window alternately on the current X display (run it under Xvfb with no
// window manager), each time measuring from the start of the process to the map of its first top-level
// window, and its resident memory one second after that map. Prints the medians and their ratios.
#include <xcb/xcb.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    double milliseconds;
    double residentMiB;
};

// VmRSS of a running process, in MiB; none once it has gone.
std::optional<double> residentMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return std::nullopt;
}

// Waits for the first window mapped on the root (no window manager redirects it), up to 20 s.
bool waitForMap(xcb_connection_t* connection) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    const int fd = xcb_get_file_descriptor(connection);
    while (Clock::now() < deadline) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const bool mapped = (event->response_type & ~0x80) == XCB_MAP_NOTIFY;
            std::free(event);
            if (mapped)
                return true;
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        timeval wait{0, 20'000};
        select(fd + 1, &readable, nullptr, nullptr, &wait);
    }
    return false;
}

// Forgets the maps of earlier runs (a sheet or a popup maps after the main window).
void drain(xcb_connection_t* connection) {
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection))
        std::free(event);
}

std::optional<Sample> measure(xcb_connection_t* connection, const std::string& program) {
    drain(connection);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    const auto start = Clock::now();
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", program.c_str());
        return std::nullopt;
    }
    const bool mapped = waitForMap(connection);
    const auto shown = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto memory = residentMiB(pid);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    if (!mapped || !memory) {
        std::fprintf(stderr, "%s showed no window\n", program.c_str());
        return std::nullopt;
    }
    return Sample{std::chrono::duration<double, std::milli>(shown - start).count(), *memory};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    int runs = 5;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--runs") == 0) {
        runs = std::max(1, std::atoi(argv[2]));
        first = 3;
    }
    if (argc != first + 1) {
        std::fprintf(stderr, "usage: %s [--runs N] APPLICATION\n", argv[0]);
        return 64;
    }
    const std::string application = argv[first];
    const std::string self = argv[0];
    const std::string bare = self.substr(0, self.rfind('/') + 1) + "tessaron-bare-window";

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    std::vector<double> appTimes, appMemory, bareTimes, bareMemory;
    for (int run = 0; run < runs; ++run) {
        const auto app = measure(connection, application);
        const auto yardstick = measure(connection, bare);
        if (!app || !yardstick)
            return 1;
        appTimes.push_back(app->milliseconds);
        appMemory.push_back(app->residentMiB);
        bareTimes.push_back(yardstick->milliseconds);
        bareMemory.push_back(yardstick->residentMiB);
    }
    const double time = median(appTimes), bareTime = median(bareTimes);
    const double memory = median(appMemory), bareResident = median(bareMemory);
    std::printf("start to window shown: %.0f ms, bare window %.0f ms (%.1f x)\n", time, bareTime,
                time / bareTime);
    std::printf("resident memory after start: %.1f MiB, bare window %.1f MiB (%.1f x)\n", memory,
                bareResident, memory / bareResident);
    xcb_disconnect(connection);
    return 0;
}
