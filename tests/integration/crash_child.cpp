// A program that crashes on purpose through the application's crash handler; it links nothing else of
// the application, so that a build without the sanitizers needs only the handler.
//
//   tessaron-crash-child <folder>
//   null-write|stack-overflow|thread-stack-overflow|uncaught-exception|swapped-folder
//     (swapped-folder: the folder moves to "<folder>-checked" and a link to "<folder>-decoy" takes its
//     place before a null write)

#include "updates/crash_handler.hpp"

#include <QThread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using namespace tessaron;

volatile bool stopRecursing = false;

__attribute__((noinline)) int recurse(volatile char* previous) {
    volatile char frame[4096];
    frame[0] = previous ? char(previous[0] + 1) : 0;
    if (stopRecursing)
        return frame[0];
    return recurse(frame) + frame[1];
}

int crash(const char* folder, const char* how) {
    // No core files: the handler's own spool is what the test reads.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    installCrashHandler({
        .folder = QString::fromLocal8Bit(folder),
        .version = QStringLiteral("1.4.2"),
        .build = QStringLiteral("142"),
        .osVersion = QStringLiteral("Test OS 1"),
        .architecture = QStringLiteral("x86_64"),
        .hardwareModel = QStringLiteral("Test Machine"),
    });
    if (std::strcmp(how, "swapped-folder") == 0) {
        const std::string path(folder);
        const std::string decoy = path + "-decoy";
        if (::rename(folder, (path + "-checked").c_str()) != 0 || ::mkdir(decoy.c_str(), 0700) != 0 ||
            ::symlink(decoy.c_str(), folder) != 0)
            return 3;
        how = "null-write";
    }
    if (std::strcmp(how, "null-write") == 0) {
        volatile std::uintptr_t zero = 0;
        *reinterpret_cast<volatile int*>(zero) = 1;
    } else if (std::strcmp(how, "stack-overflow") == 0) {
        return recurse(nullptr);
    } else if (std::strcmp(how, "thread-stack-overflow") == 0) {
        // Started as Qt starts its own threads, after the handler was installed.
        std::unique_ptr<QThread> worker(QThread::create([] { recurse(nullptr); }));
        worker->start();
        worker->wait();
    } else if (std::strcmp(how, "uncaught-exception") == 0) {
        throw std::runtime_error("a message that must not travel");
    }
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    return argc == 3 ? crash(argv[1], argv[2]) : 2;
}
