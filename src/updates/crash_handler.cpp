#include "updates/crash_handler.hpp"

#include "updates/crash_spool.hpp"
#include "updates/private_folder.hpp"
#include "updates/thread_signal_stack.hpp"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>

namespace tessaron {

namespace {

// Everything below is filled at install and only read by the handler, which may neither allocate nor lock.
constexpr std::array crashSignals{SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP};
constexpr int maxFrames = 128;

// The crash folder as checked at install: a link put in its place later leads nowhere.
int folderDescriptor = -1;
char preparedLines[2048];
std::size_t preparedLength = 0;
// "started <ticks>\n": tells this process from a later one that is given the same id.
char startedLine[48];
void* frames[maxFrames];
std::atomic<bool> installed{false};
std::atomic<bool> terminating{false};
std::atomic<bool> handling{false};

// Collects output in a fixed buffer and writes it out when full. Async-signal-safe.
class SpoolWriter {
public:
    explicit SpoolWriter(int descriptor)
        : descriptor_(descriptor) {}
    ~SpoolWriter() { flush(); }

    SpoolWriter& text(const char* value, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) {
            if (used_ == sizeof(buffer_))
                flush();
            buffer_[used_++] = value[i];
        }
        return *this;
    }
    SpoolWriter& text(const char* value) { return text(value, std::strlen(value)); }
    SpoolWriter& signedNumber(long long value) {
        if (value < 0)
            text("-");
        return number(value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                : static_cast<unsigned long long>(value));
    }
    SpoolWriter& number(unsigned long long value, unsigned base = 10) {
        char digits[24];
        std::size_t count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value % base];
            value /= base;
        } while (value != 0);
        while (count > 0)
            text(&digits[--count], 1);
        return *this;
    }
    void flush() {
        std::size_t done = 0;
        while (done < used_) {
            const auto step = ::write(descriptor_, buffer_ + done, used_ - done);
            if (step < 0 && errno == EINTR)
                continue;
            if (step <= 0)
                break;
            done += std::size_t(step);
        }
        used_ = 0;
    }

private:
    int descriptor_;
    char buffer_[4096];
    std::size_t used_ = 0;
};

void copyInto(char* target, std::size_t capacity, const QByteArray& value) {
    const auto length = std::min<std::size_t>(std::size_t(value.size()), capacity - 1);
    std::memcpy(target, value.constData(), length);
    target[length] = '\0';
}

// One line of the spool; the value is kept to one line of bounded length.
QByteArray preparedLine(const char* key, const QString& value) {
    QString oneLine = value.simplified().left(200);
    return QByteArray(key) + ' ' + oneLine.toUtf8() + '\n';
}

// Builds a file name in a fixed buffer, cutting what does not fit. Async-signal-safe.
class NameBuilder {
public:
    NameBuilder& text(const char* part) {
        for (; *part != '\0' && length_ + 1 < sizeof(name_); ++part)
            name_[length_++] = *part;
        name_[length_] = '\0';
        return *this;
    }
    NameBuilder& number(unsigned long value) {
        char digits[24];
        std::size_t count = 0;
        do {
            digits[count++] = char('0' + value % 10);
            value /= 10;
        } while (value != 0);
        char reversed[24];
        for (std::size_t i = 0; i < count; ++i)
            reversed[i] = digits[count - 1 - i];
        reversed[count] = '\0';
        return text(reversed);
    }
    const char* name() const { return name_; }

private:
    char name_[64] = {};
    std::size_t length_ = 0;
};

// Creates the spool exclusively, never through a link. -1 when no name is free.
int createSpool() {
    for (unsigned attempt = 0; attempt < 10; ++attempt) {
        NameBuilder name;
        name.text(crash_spool::prefix).number(unsigned(::getpid()));
        if (attempt > 0)
            name.text("-").number(attempt);
        name.text(crash_spool::extension);
        const int descriptor = ::openat(folderDescriptor, name.name(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor >= 0 || errno != EEXIST)
            return descriptor;
    }
    return -1;
}

void copyMemoryMap(SpoolWriter& out) {
    const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps < 0)
        return;
    char chunk[4096];
    for (;;) {
        const auto step = ::read(maps, chunk, sizeof(chunk));
        if (step < 0 && errno == EINTR)
            continue;
        if (step <= 0)
            break;
        out.text(chunk, std::size_t(step));
    }
    ::close(maps);
}

void writeSpool(int signalNumber, const siginfo_t* info) {
    const int descriptor = createSpool();
    if (descriptor < 0)
        return;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const int count = ::backtrace(frames, maxFrames);
    {
        SpoolWriter out(descriptor);
        out.text(crash_spool::header).text(startedLine);
        // On disk at once: a spool cut short later still names its writer.
        out.flush();
        out.text("signal ").number(unsigned(signalNumber)).text("\n");
        if (info)
            out.text("code ").signedNumber(info->si_code).text("\n");
        out.text("time ").signedNumber(now.tv_sec).text("\n");
        if (terminating.load())
            out.text("reason std::terminate\n");
        out.text(preparedLines, preparedLength);
        for (int i = 0; i < count; ++i)
            out.text("frame 0x").number(reinterpret_cast<unsigned long long>(frames[i]), 16).text("\n");
        out.text("maps\n");
        copyMemoryMap(out);
        out.text("end\n");
    }
    ::close(descriptor);
}

void dieBySignal(int signalNumber) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigemptyset(&fallback.sa_mask);
    ::sigaction(signalNumber, &fallback, nullptr);
    // Still blocked while this handler runs: delivered, with its default action, when it returns. A fault
    // also repeats when the faulting instruction runs again.
    ::raise(signalNumber);
}

void onCrashSignal(int signalNumber, siginfo_t* info, void*) {
    if (!handling.exchange(true))
        writeSpool(signalNumber, info);
    dieBySignal(signalNumber);
}

[[noreturn]] void onTerminate() {
    // The exception's message may hold personal data, so only the fact of the terminate is kept.
    terminating.store(true);
    std::abort();
}

void prepare(const CrashHandlerSetup& setup) {
    const QByteArray lines = preparedLine("version", setup.version) + preparedLine("build", setup.build) +
                             preparedLine("os", setup.osVersion) + preparedLine("arch", setup.architecture) +
                             preparedLine("model", setup.hardwareModel);
    copyInto(preparedLines, sizeof(preparedLines), lines);
    preparedLength = std::strlen(preparedLines);
    const auto started = crash_spool::processStartTime(::getpid());
    copyInto(startedLine, sizeof(startedLine),
             started ? "started " + QByteArray::number(*started) + '\n' : QByteArray());
    // The first backtrace loads the unwinder; inside a signal handler that would allocate.
    ::backtrace(frames, maxFrames);
}

} // namespace

bool installCrashHandler(const CrashHandlerSetup& setup) {
    if (installed.load())
        return true;
    auto folder = PrivateFolder::open(setup.folder, true);
    if (!folder)
        return false;
    prepare(setup);
    if (!installAlternateSignalStack())
        return false;
    struct sigaction action {};
    action.sa_sigaction = onCrashSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    ::sigemptyset(&action.sa_mask);
    for (const int signalNumber : crashSignals)
        ::sigaddset(&action.sa_mask, signalNumber);
    // Kept open for the rest of the process.
    folderDescriptor = std::move(*folder).releaseDescriptor();
    for (const int signalNumber : crashSignals)
        ::sigaction(signalNumber, &action, nullptr);
    giveNewThreadsAlternateSignalStacks();
    std::set_terminate(onTerminate);
    installed.store(true);
    return true;
}

} // namespace tessaron
