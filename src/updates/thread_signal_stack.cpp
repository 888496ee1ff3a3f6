#include "updates/thread_signal_stack.hpp"

#include "platform/address_sanitizer.hpp"

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <new>

// The address sanitizer wraps pthread_create itself and gives every thread an alternate stack of its own.

namespace tessaron {

namespace {

// Room for the crash handler's buffers and the unwinder, with a guard page below it so that a handler
// that still overflows faults rather than writing over other memory.
constexpr std::size_t stackSize = 128 * 1024;

class AlternateSignalStack {
public:
    AlternateSignalStack() {
        guard_ = std::size_t(::sysconf(_SC_PAGESIZE));
        void* mapped =
            ::mmap(nullptr, guard_ + stackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            return;
        base_ = static_cast<char*>(mapped);
        stack_t stack{};
        stack.ss_sp = base_ + guard_;
        stack.ss_size = stackSize;
        if (::mprotect(base_, guard_, PROT_NONE) != 0 || ::sigaltstack(&stack, nullptr) != 0) {
            ::munmap(base_, guard_ + stackSize);
            base_ = nullptr;
        }
    }
    ~AlternateSignalStack() {
        if (!base_)
            return;
        stack_t disable{};
        disable.ss_flags = SS_DISABLE;
        ::sigaltstack(&disable, nullptr);
        ::munmap(base_, guard_ + stackSize);
    }
    AlternateSignalStack(const AlternateSignalStack&) = delete;
    AlternateSignalStack& operator=(const AlternateSignalStack&) = delete;

    bool installed() const { return base_ != nullptr; }

private:
    char* base_ = nullptr;
    std::size_t guard_ = 0;
};

std::atomic<bool> coverNewThreads{false};

#ifndef TESSARON_ADDRESS_SANITIZER
using ThreadStart = void* (*)(void*);
using PthreadCreate = int (*)(pthread_t*, const pthread_attr_t*, ThreadStart, void*);

struct Start {
    ThreadStart routine;
    void* argument;
};

void* startWithAlternateStack(void* raw) {
    const Start start = *static_cast<Start*>(raw);
    delete static_cast<Start*>(raw);
    installAlternateSignalStack();
    return start.routine(start.argument);
}

PthreadCreate systemPthreadCreate() {
    static const auto create = reinterpret_cast<PthreadCreate>(::dlsym(RTLD_NEXT, "pthread_create"));
    return create;
}
#endif

} // namespace

bool installAlternateSignalStack() {
    // Unmapped when the thread ends, however it ends: thread-local objects are destroyed on pthread_exit too.
    thread_local const AlternateSignalStack stack;
    return stack.installed();
}

void giveNewThreadsAlternateSignalStacks() {
    coverNewThreads.store(true);
}

} // namespace tessaron

#ifndef TESSARON_ADDRESS_SANITIZER
// Defined in the program, this takes the place of the C library's for every library that starts threads,
// Qt's and GLib's included: no thread of the process starts without passing here.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                              tessaron::ThreadStart routine, void* argument) noexcept {
    using namespace tessaron;
    const auto create = systemPthreadCreate();
    if (!create)
        return EAGAIN;
    auto* start = coverNewThreads.load() ? new (std::nothrow) Start{routine, argument} : nullptr;
    if (!start)
        return create(thread, attributes, routine, argument);
    const int result = create(thread, attributes, startWithAlternateStack, start);
    if (result != 0)
        delete start;
    return result;
}
#endif
