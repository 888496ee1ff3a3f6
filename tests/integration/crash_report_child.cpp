// Sends what an earlier crash left in a folder through the application's crash pipeline, as the next start
// of the application does.
//
//   tessaron-crash-report-child <folder> <https base URL> <CA file>

#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "updates/crash_reporter.hpp"

#include <QCoreApplication>
#include <QSslCertificate>

#include <chrono>
#include <memory>

namespace {

using namespace tessaron;

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
    const QUrl base(QString::fromLocal8Bit(argv[2]));
    const QString caPath = QString::fromLocal8Bit(argv[3]);
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
        .source = std::make_shared<SpoolCrashSource>(folder, [context] { return context; }),
        .uploader = [base, caPath] { return std::make_unique<TestUploader>(base, caPath); },
        .store = std::make_shared<FileCrashReportStore>(folder),
    });
    return reporter.waitForIdle(std::chrono::seconds(60)) ? 0 : 3;
}

} // namespace

int main(int argc, char* argv[]) {
    return argc == 4 ? report(argc, argv) : 2;
}
