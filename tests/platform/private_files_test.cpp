#include "vpn_samples.hpp"

#include "platform/json_file_preferences.hpp"
#include "platform/system_log.hpp"
#include "platform/vpn_configuration_store.hpp"
#include "support/manual_clock.hpp"

#include <QDir>
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

void setMode(const QString& path, mode_t mode) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

// Each store opened at a path, writing (true) or only reading (false).
using OpenStore = std::function<void(const QString& path, const Clock& clock, bool write)>;

const std::pair<const char*, OpenStore> stores[] = {
    {"preferences",
     [](const QString& path, const Clock& clock, bool write) {
         JsonFilePreferences preferences(path, clock);
         write ? preferences.setValue(QStringLiteral("city"), QStringLiteral("Zürich"))
               : void(preferences.keys());
     }},
    {"VPN configurations",
     [](const QString& path, const Clock& clock, bool write) {
         VpnConfigurationStore store(path, clock);
         write ? store.update([](auto& managers) { applySave(managers, sampleManager()); })
               : void(store.load());
     }},
};

// Even under umask 000 nothing is left that another local user can read, damaged copies included, and
// looser modes found on disk are tightened as the store opens.
class PrivateFilesTest : public ::testing::Test {
protected:
    void SetUp() override { previousMask_ = ::umask(0); }
    void TearDown() override { ::umask(previousMask_); }

    mode_t previousMask_ = 0;
};

TEST_F(PrivateFilesTest, FoldersAndFilesAreTheOwnersAloneWhateverTheUmask) {
    ManualClock clock;
    SystemLog::Capture log;
    for (const auto& [name, open] : stores) {
        SCOPED_TRACE(name);
        const QTemporaryDir directory;
        const auto folder = directory.filePath(QStringLiteral("config/tessaron"));
        const auto path = folder + QStringLiteral("/store.json");
        open(path, clock, true);
        EXPECT_EQ(modeOf(directory.filePath(QStringLiteral("config"))), 0700u);

        QFile damaged(path);
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("{");
        damaged.close();
        open(path, clock, false);
        open(path, clock, true);
        setMode(folder, 0755);
        setMode(path, 0644);
        open(path, clock, false);

        EXPECT_EQ(modeOf(folder), 0700u);
        const auto files = QDir(folder).entryList(QDir::Files);
        ASSERT_EQ(files.size(), 2) << "the file and its damaged copy";
        for (const auto& file : files)
            EXPECT_EQ(modeOf(QDir(folder).filePath(file)), 0600u) << file.toStdString();
    }
}

} // namespace
} // namespace tessaron::testing
