#include "platform/linux_update_framework.hpp"
#include "support/manual_clock.hpp"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;
using Outcome = LinuxUpdateFramework::Outcome;

const QUrl page(QStringLiteral("https://tessaron.test/download/mac"));

class RecordingDialogs final : public UpdateDialogs {
public:
    void showFound(const FoundUpdate& update, std::function<void()> download) override {
        shown.append(QStringLiteral("found ") + update.version);
        if (pressDownload)
            download();
    }
    void showUpToDate() override { shown.append(QStringLiteral("up to date")); }
    void showCheckFailed() override { shown.append(QStringLiteral("failed")); }

    bool pressDownload = false;
    QStringList shown;
};

class ScriptedDelegate final : public UpdateFrameworkDelegate {
public:
    bool willInstallUpdateOnQuit(const FoundUpdate&, const std::function<void()>& installNow) override {
        if (required)
            installNow();
        return required;
    }
    bool required = false;
};

class LinuxUpdateFrameworkTest : public ::testing::Test {
protected:
    LinuxUpdateFrameworkTest() { framework.setDelegate(&delegate); }

    // The finder answers after a second on the manual clock.
    QCoro::Task<Outcome> find() {
        co_await clock.sleep(1s);
        // A copy: co_return moves from what it is given.
        co_return Outcome(outcome);
    }
    void finish() { clock.advance(1s); }

    ManualClock clock;
    Outcome outcome = Outcome::found({QStringLiteral("1.5"), page});
    RecordingDialogs dialogs;
    ScriptedDelegate delegate;
    QList<QUrl> opened;
    LinuxUpdateFramework framework{[this] { return find(); }, dialogs,
                                   [this](const QUrl& url) {
                                       opened.append(url);
                                   }};
};

TEST_F(LinuxUpdateFrameworkTest, ARequiredFindOpensThePageOncePerReleaseFromBackgroundChecks) {
    delegate.required = true;
    for (int i = 0; i < 3; ++i) {
        framework.checkForUpdatesInBackground();
        finish();
    }
    EXPECT_EQ(opened, QList<QUrl>{page});
    // The user asking opens it again; so does a newer release.
    framework.checkForUpdates();
    finish();
    outcome = Outcome::found({QStringLiteral("1.6"), page});
    framework.checkForUpdatesInBackground();
    finish();
    EXPECT_EQ(opened.size(), 3);
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

// No second check starts while one runs.
TEST_F(LinuxUpdateFrameworkTest, ShowsTheOutcomeOfUserChecksOnlyOneCheckAtATime) {
    QSignalSpy changes(&framework, &UpdateFramework::canCheckForUpdatesChanged);
    struct Case {
        const char* name;
        Outcome outcome;
        bool userInitiated;
        bool pressDownload;
        QStringList shown;
        qsizetype opened;
    };
    const auto found = Outcome::found({QStringLiteral("1.5"), page});
    const std::vector<Case> cases{
        {"found, download", found, true, true, {"found 1.5"}, 1},
        {"found, later", found, true, false, {"found 1.5"}, 0},
        {"up to date", Outcome::upToDate(), true, false, {"up to date"}, 0},
        {"failed", Outcome::failed(), true, false, {"failed"}, 0},
        {"found in background", found, false, true, {}, 0},
        {"failed in background", Outcome::failed(), false, false, {}, 0},
    };
    for (const auto& c : cases) {
        outcome = c.outcome;
        dialogs.pressDownload = c.pressDownload;
        dialogs.shown.clear();
        opened.clear();
        c.userInitiated ? framework.checkForUpdates() : framework.checkForUpdatesInBackground();
        EXPECT_FALSE(framework.canCheckForUpdates()) << c.name;
        framework.checkForUpdates();
        finish();
        EXPECT_TRUE(framework.canCheckForUpdates()) << c.name;
        EXPECT_EQ(dialogs.shown, c.shown) << c.name;
        EXPECT_EQ(opened.size(), c.opened) << c.name;
    }
    EXPECT_EQ(changes.size(), 2 * qsizetype(cases.size()));
}

} // namespace
} // namespace tessaron::testing
