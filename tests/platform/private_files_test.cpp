#include "vpn_samples.hpp"

#include "platform/json_file_preferences.hpp"
#include "platform/system_log.hpp"
#include "platform/vpn_configuration_store.hpp"
#include "support/manual_clock.hpp"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace tessaron::testing {
namespace {

mode_t modeOf(const QString& path) {
    struct stat status {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
    return status.st_mode & 07777;
}

struct Store {
    const char* name;
    // Opens the store at `path` and has it write something.
    std::function<void(const QString& path, const Clock& clock)> write;
    // Opens the store at `path` and has it read what is there.
    std::function<void(const QString& path, const Clock& clock)> read;
};

const Store stores[] = {
    {"preferences",
     [](const QString& path, const Clock& clock) {
         JsonFilePreferences(path, clock).setValue(QStringLiteral("city"), QStringLiteral("Zürich"));
     },
     [](const QString& path, const Clock& clock) {
         JsonFilePreferences(path, clock).keys();
     }},
    {"VPN configurations",
     [](const QString& path, const Clock& clock) {
         VpnConfigurationStore(path, clock).update([](auto& managers) {
             applySave(managers, sampleManager());
         });
     },
     [](const QString& path, const Clock& clock) {
         VpnConfigurationStore(path, clock).load();
     }},
};

// Even a process that runs with umask 000 leaves nothing another local user can read.
class PrivateFilesTest : public ::testing::Test {
protected:
    void SetUp() override { previousMask_ = ::umask(0); }
    void TearDown() override { ::umask(previousMask_); }

    QString folder() const { return directory_.filePath(QStringLiteral("config/tessaron")); }
    QString path() const { return folder() + QStringLiteral("/store.json"); }

    QTemporaryDir directory_;
    ManualClock clock_;
    SystemLog::Capture log_;
    mode_t previousMask_ = 0;
};

TEST_F(PrivateFilesTest, FoldersAndFilesAreTheOwnersAloneDamagedCopiesIncluded) {
    for (const auto& store : stores) {
        SCOPED_TRACE(store.name);
        QDir(directory_.path()).removeRecursively();
        store.write(path(), clock_);
        EXPECT_EQ(modeOf(directory_.filePath(QStringLiteral("config"))), 0700u);
        EXPECT_EQ(modeOf(folder()), 0700u);

        QFile damaged(path());
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("{");
        damaged.close();
        store.read(path(), clock_);
        store.write(path(), clock_);
        const auto files = QDir(folder()).entryList(QDir::Files);
        ASSERT_EQ(files.size(), 2) << files.join(u' ').toStdString();
        for (const auto& file : files)
            EXPECT_EQ(modeOf(QDir(folder()).filePath(file)), 0600u) << file.toStdString();
    }
}

TEST_F(PrivateFilesTest, LooserModesLeftOnDiskAreTightenedWhenTheStoreOpens) {
    for (const auto& store : stores) {
        SCOPED_TRACE(store.name);
        QDir(directory_.path()).removeRecursively();
        store.write(path(), clock_);
        ASSERT_EQ(::chmod(QFile::encodeName(folder()).constData(), 0755), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0644), 0);

        store.read(path(), clock_);

        EXPECT_EQ(modeOf(folder()), 0700u);
        EXPECT_EQ(modeOf(path()), 0600u);
    }
}

} // namespace
} // namespace tessaron::testing
