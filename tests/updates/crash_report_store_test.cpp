#include "updates/crash_report_store.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <thread>

namespace tessaron::testing {
namespace {

TessaronCrashReport reportAt(int second, QUuid id = QUuid::createUuid()) {
    TessaronCrashReport report;
    report.id = id;
    report.platform = QStringLiteral("macos");
    report.installationID = QUuid::createUuid();
    report.crashedAt = QStringLiteral("2026-01-01T00:%1:%2Z")
                           .arg(second / 60, 2, 10, QChar(u'0'))
                           .arg(second % 60, 2, 10, QChar(u'0'));
    return report;
}

mode_t modeOf(const QString& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
    return status.st_mode & 07777;
}

QSet<QUuid> idsOf(const QList<TessaronCrashReport>& reports) {
    QSet<QUuid> ids;
    for (const auto& report : reports)
        ids.insert(report.id);
    return ids;
}

class CrashReportStoreTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    QString folder = root.filePath(QStringLiteral("data/crash-reports"));
    FileCrashReportStore store{folder};

    void writeFile(const QString& name, const QByteArray& content) {
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
};

TEST_F(CrashReportStoreTest, KeepsTheNewestTwentyAndBreaksTiesByID) {
    EXPECT_TRUE(store.loadAll().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(folder));
    // Two reports at the same instant, the oldest of all: the one with the smaller id goes first.
    const auto larger =
        reportAt(0, QUuid::fromString(QStringLiteral("f0000000-0000-4000-8000-000000000001")));
    const auto smaller =
        reportAt(0, QUuid::fromString(QStringLiteral("00000000-0000-4000-8000-000000000001")));
    QList<TessaronCrashReport> kept{larger};
    for (int second = 1; second <= 19; ++second)
        kept.append(reportAt(second));
    for (const auto& report : kept + QList{smaller})
        store.save(report);
    EXPECT_EQ(idsOf(store.loadAll()), idsOf(kept));

    store.save(larger); // the same report again replaces its file
    store.remove(larger.id);
    store.remove(QUuid::createUuid());
    EXPECT_EQ(store.loadAll().size(), 19);
}

TEST_F(CrashReportStoreTest, IgnoresForeignAndBrokenFilesAndNeverDeletesThem) {
    store.save(reportAt(30));
    const QByteArray body = reportAt(31).encoded();
    const QStringList foreign{QStringLiteral("a.txt"), QStringLiteral("b.JSON"), QStringLiteral("c.json"),
                              QStringLiteral(".json")};
    for (const auto& name : foreign)
        writeFile(name, name == foreign[2] ? QByteArray("{not json") : body);
    // A report under a name other than its id is read, yet pruning and removal leave that file alone.
    const auto misnamed = reportAt(0);
    writeFile(QStringLiteral("misnamed.json"), misnamed.encoded());
    EXPECT_EQ(store.loadAll().size(), 2);

    for (int second = 40; second < 60; ++second)
        store.save(reportAt(second));
    store.remove(misnamed.id);
    for (const auto& name : foreign + QStringList{QStringLiteral("misnamed.json")})
        EXPECT_TRUE(QFileInfo::exists(QDir(folder).filePath(name))) << name.toStdString();
}

TEST_F(CrashReportStoreTest, StoresAndLoadsNothingThroughALinkedFolder) {
    const auto elsewhere = root.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(folder).path()));
    ASSERT_TRUE(QFile::link(elsewhere, folder));
    QFile planted(QDir(elsewhere).filePath(QStringLiteral("planted.json")));
    ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
    planted.write(reportAt(2).encoded());
    planted.close();

    store.save(reportAt(1));
    EXPECT_TRUE(store.loadAll().isEmpty());
    EXPECT_EQ(QDir(elsewhere).entryList(QDir::Files).size(), 1);
}

TEST_F(CrashReportStoreTest, LeavesTwentyPrivateReadableFilesAfterConcurrentSaves) {
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    const mode_t previous = ::umask(0);
    const auto saveMany = [this](int offset) {
        for (int i = 0; i < 30; ++i)
            store.save(reportAt(offset + i));
    };
    std::thread first(saveMany, 0);
    std::thread second(saveMany, 100);
    first.join();
    second.join();
    ::umask(previous);
    EXPECT_EQ(store.loadAll().size(), 20);
    EXPECT_EQ(modeOf(folder), 0700u);
    const QRegularExpression idFileName(QStringLiteral("^[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}\\.json$"));
    const auto files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(files.size(), 20);
    for (const auto& file : files) {
        EXPECT_EQ(modeOf(file.filePath()), 0600u) << file.fileName().toStdString();
        EXPECT_TRUE(idFileName.match(file.fileName()).hasMatch()) << file.fileName().toStdString();
    }
}

} // namespace
} // namespace tessaron::testing
