// A program that crashes on purpose through the application's crash handler, and that, started again,
// sends what the crash left through the application's crash pipeline.
//
//   tessaron-crash-child <folder>
//   null-write|stack-overflow|thread-stack-overflow|uncaught-exception|swapped-folder
//     (swapped-folder: the folder moves to "<folder>-checked" and a link to "<folder>-decoy" takes its
//     place before a null write)
//   tessaron-crash-child <folder> report <https base URL> <CA file>

#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "updates/crash_handler.hpp"
#include "updates/crash_reporter.hpp"

#include <QCoreApplication>
#include <QSslCertificate>
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

class TestUploader final : public TessaronCrashReportUploader {
public:
    TestUploader(const QUrl& base, const QString& caPath)
        : transport_({.trustedAuthorities = QSslCertificate::fromPath(caPath)})
        , uploader_(
              base, transport_, clock_, [](int, std::optional<QByteArray>) {},
              [] { return QStringLiteral("test"); }) {}

    QCoro::Task<bool> upload(TessaronCrashReport report, CancellationToken cancellation) override {
        return uploader_.upload(std::move(report), std::move(cancellation));
    }

private:
    SystemClock clock_;
    QtHttpTransport transport_;
    PairingCrashUploader uploader_;
};

int report(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QUrl base(QString::fromLocal8Bit(argv[3]));
    const QString caPath = QString::fromLocal8Bit(argv[4]);
    CrashReportContext context{
        .bundle = BundleInfo({{"CFBundleShortVersionString", "1.4.2"}, {"CFBundleVersion", "142"}}, {}),
        .installationID =
            [] { return QUuid::fromString(QStringLiteral("7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f")); },
        .osVersion = QStringLiteral("Test OS 1"),
        .hardwareModel = QStringLiteral("Test Machine"),
    };
    TessaronCrashReporter reporter;
    reporter.start({
        .environment = std::nullopt,
        .source = std::make_shared<SpoolCrashSource>(folder, context),
        .uploader = [base, caPath] { return std::make_unique<TestUploader>(base, caPath); },
        .store = std::make_shared<FileCrashReportStore>(folder),
    });
    return reporter.waitForIdle(std::chrono::seconds(60)) ? 0 : 3;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 3)
        return crash(argv[1], argv[2]);
    if (argc == 5 && std::strcmp(argv[2], "report") == 0)
        return report(argc, argv);
    return 2;
}
