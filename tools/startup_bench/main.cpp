// tessaron-startup-bench [--runs N] APPLICATION...
// Starts the bare window and each APPLICATION in turn on the current X display (run it under Xvfb with no
// window manager), each time measuring from the start of the process to the map of its first top-level
// window, and on to the first picture of that window holding a white button (the home view's primary
// button; the bare window's block), polled from the screen. Reads the resident memory one second after
// that picture. Prints the medians, each application's beside the bare window's.
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
using namespace std::chrono_literals;

// A white button of the home view covers some 18,000 pixels; text alone stays far below this.
constexpr long paintedWhitePixels = 8000;

struct Sample {
    double mapped;
    double painted;
    double residentMiB;
};

struct Series {
    std::string name;
    std::vector<double> mapped, painted, resident;

    void add(const Sample& sample) {
        mapped.push_back(sample.mapped);
        painted.push_back(sample.painted);
        resident.push_back(sample.residentMiB);
    }
};

double milliseconds(Clock::duration elapsed) {
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

// VmRSS of a running process, in MiB; none once it has gone.
std::optional<double> residentMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return std::nullopt;
}

// The first window mapped on the root (no window manager redirects it), waited for until `deadline`.
std::optional<xcb_window_t> waitForMap(xcb_connection_t* connection, Clock::time_point deadline) {
    const int fd = xcb_get_file_descriptor(connection);
    while (Clock::now() < deadline) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            std::optional<xcb_window_t> mapped;
            if ((event->response_type & ~0x80) == XCB_MAP_NOTIFY)
                mapped = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
            std::free(event);
            if (mapped)
                return mapped;
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        timeval wait{0, 20'000};
        select(fd + 1, &readable, nullptr, nullptr, &wait);
    }
    return std::nullopt;
}

long whitePixels(xcb_connection_t* connection, xcb_window_t window, uint16_t width, uint16_t height) {
    auto* image = xcb_get_image_reply(
        connection, xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, width, height, ~0u),
        nullptr);
    if (!image)
        return 0;
    const auto* pixels = reinterpret_cast<const uint32_t*>(xcb_get_image_data(image));
    const long count = xcb_get_image_data_length(image) / 4;
    const long white =
        std::count_if(pixels, pixels + count, [](uint32_t p) { return (p & 0xffffff) == 0xffffff; });
    std::free(image);
    return white;
}

// Polls the window's picture every two milliseconds until it holds the white button.
bool waitForPaint(xcb_connection_t* connection, xcb_window_t window, Clock::time_point deadline) {
    auto* geometry = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    if (!geometry)
        return false;
    const uint16_t width = geometry->width, height = geometry->height;
    std::free(geometry);
    while (Clock::now() < deadline) {
        if (whitePixels(connection, window, width, height) >= paintedWhitePixels)
            return true;
        std::this_thread::sleep_for(2ms);
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
    const auto deadline = start + 20s;
    const auto window = waitForMap(connection, deadline);
    const auto mapped = Clock::now();
    const bool painted = window && waitForPaint(connection, *window, deadline);
    const auto drawn = Clock::now();
    std::this_thread::sleep_for(1s);
    const auto memory = residentMiB(pid);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    if (!painted || !memory) {
        std::fprintf(stderr, "%s showed no %s\n", program.c_str(), window ? "white button" : "window");
        return std::nullopt;
    }
    return Sample{milliseconds(mapped - start), milliseconds(drawn - start), *memory};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void print(const Series& series, const Series& bare) {
    const double mapped = median(series.mapped), painted = median(series.painted);
    const double resident = median(series.resident);
    std::printf("%-48s %7.1f %7.1f (%4.2f x) %7.1f (%3.1f x)\n", series.name.c_str(), mapped, painted,
                painted / median(bare.painted), resident, resident / median(bare.resident));
}

} // namespace

int main(int argc, char* argv[]) {
    int runs = 5;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--runs") == 0) {
        runs = std::max(1, std::atoi(argv[2]));
        first = 3;
    }
    if (argc <= first) {
        std::fprintf(stderr, "usage: %s [--runs N] APPLICATION...\n", argv[0]);
        return 64;
    }
    const std::string self = argv[0];
    Series bare{self.substr(0, self.rfind('/') + 1) + "tessaron-bare-window", {}, {}, {}};
    std::vector<Series> applications;
    for (int i = first; i < argc; ++i)
        applications.push_back({argv[i], {}, {}, {}});

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    std::vector<Series*> all{&bare};
    for (auto& application : applications)
        all.push_back(&application);
    // Interleaved, so a busier moment of the machine weighs on every program alike.
    for (int run = 0; run < runs; ++run) {
        for (auto* series : all) {
            const auto sample = measure(connection, series->name);
            if (!sample)
                return 1;
            series->add(*sample);
        }
    }
    const std::string heading = "median of " + std::to_string(runs) + " runs";
    std::printf("%-48s %7s %7s %10s %7s\n", heading.c_str(), "map ms", "painted", "", "MiB");
    print(bare, bare);
    for (const auto& application : applications)
        print(application, bare);
    xcb_disconnect(connection);
    return 0;
}
