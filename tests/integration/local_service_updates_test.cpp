// The local service's diagnostics endpoint and release feed, as the application's uploader and feed read
// them.
#include "local_service_process.hpp"

#include "platform/qt_http_transport.hpp"
#include "support/run_task.hpp"
#include "updates/crash_uploader.hpp"
#include "updates/release_feed.hpp"

#include <QSslCertificate>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

TEST(LocalServiceUpdatesTest, TakesCrashReportsAndNamesAnOlderRelease) {
    LocalServiceProcess service;
    ASSERT_TRUE(service.isRunning()) << service.startError().toStdString();
    QtHttpTransport transport({.trustedAuthorities = QSslCertificate::fromPath(service.caFile())});
    PairingCrashUploader uploader(
        QUrl(service.baseURL()), transport, [](int, std::optional<QByteArray>) {},
        [] { return QStringLiteral("macos-direct/0.1.0/1"); });
    TessaronCrashReport report;
    report.id = QUuid::createUuid();
    report.platform = QStringLiteral("macos");
    report.installationID = QUuid::createUuid();
    EXPECT_TRUE(runTask(uploader.upload(report))) << "only a 202 counts as delivered";

    const ReleaseFeed feed(transport, QUrl(service.baseURL() + QStringLiteral("/releases/mac/latest.json")));
    const auto release = runTask(feed.fetchLatest());
    ASSERT_TRUE(release);
    EXPECT_FALSE(compareVersions(QStringLiteral("0.1.0"), release->version));
    EXPECT_EQ(release->url, QUrl(service.baseURL() + QStringLiteral("/download/mac")));
}

} // namespace
} // namespace tessaron::testing
