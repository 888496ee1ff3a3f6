// The crash handler alone, in a child process that crashes on purpose. ./test.sh runs this suite also from
// a build without the sanitizers: there the program's own pthread_create gives every thread its alternate
// stack, where under the address sanitizer the sanitizer's wrapper does.
#include "updates/crash_spool.hpp"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>

namespace tessaron::testing {
namespace {

// What a crash left: how the child ended, and the spool's signal, whether it is complete, and whether a
// frame of the crashed program is named.
struct Left {
    bool signalled = false;
    int ending = 0; // the signal, or the exit code
    qsizetype spools = 0;
    std::optional<qint64> spooledSignal;
    bool complete = false;
    bool programFrame = false;

    bool operator==(const Left&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Left& left) {
        return out << (left.signalled ? "signal " : "exit ") << left.ending << ", " << left.spools
                   << " spools, spooled signal " << left.spooledSignal.value_or(-1) << ", complete "
                   << left.complete << ", program frame " << left.programFrame;
    }
};

Left crashIn(const QString& folder, const char* how) {
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XCTestConfigurationFilePath"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral(TESSARON_CRASH_CHILD), {folder, QString::fromLatin1(how)});
    child.waitForFinished(60'000);
    Left left;
    left.signalled = child.exitStatus() == QProcess::CrashExit;
    left.ending = child.exitCode();
    const auto spools = QDir(folder).entryList({QStringLiteral("crash-*.spool")}, QDir::Files);
    left.spools = spools.size();
    QFile spool(QDir(folder).filePath(spools.value(0)));
    if (spools.isEmpty() || !spool.open(QIODevice::ReadOnly))
        return left;
    if (const auto parsed = crash_spool::parse(spool.readAll())) {
        left.spooledSignal = parsed->diagnostic.signal;
        left.complete = parsed->complete;
        left.programFrame = parsed->diagnostic.callStackTree.contains(R"("module":"tessaron-crash-child")");
    }
    return left;
}

// Every crash, on the main thread or another, on its own stack or after it overflowed, leaves one complete
// spool that names its signal and the crashed program, and the process still dies by that signal.
TEST(CrashHandlerTest, EveryCrashLeavesOneCompleteSpoolAndDiesByItsSignal) {
    const std::pair<const char*, int> cases[] = {{"null-write", SIGSEGV},
                                                 {"stack-overflow", SIGSEGV},
                                                 {"thread-stack-overflow", SIGSEGV},
                                                 {"uncaught-exception", SIGABRT}};
    for (const auto& [how, signalNumber] : cases) {
        SCOPED_TRACE(how);
        QTemporaryDir folder;
        EXPECT_EQ(crashIn(folder.path(), how), (Left{true, signalNumber, 1, signalNumber, true, true}));
    }
}

} // namespace
} // namespace tessaron::testing
