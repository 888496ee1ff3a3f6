// Preloaded into a program (LD_PRELOAD) to stand for a slow disk: every fsync and fdatasync first sleeps
// TESSARON_SLOW_SYNC_MS milliseconds (default 50), then syncs.

#include <chrono>
#include <cstdlib>
#include <thread>

#include <dlfcn.h>

namespace {

void slowDown() {
    const char* configured = std::getenv("TESSARON_SLOW_SYNC_MS");
    std::this_thread::sleep_for(std::chrono::milliseconds(configured ? std::atoi(configured) : 50));
}

template <typename Function> Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fsync(int descriptor) {
    slowDown();
    static const auto real = next<int (*)(int)>("fsync");
    return real(descriptor);
}

extern "C" int fdatasync(int descriptor) {
    slowDown();
    static const auto real = next<int (*)(int)>("fdatasync");
    return real(descriptor);
}
