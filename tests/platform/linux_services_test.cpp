#include "platform/linux_system_extension_requests.hpp"
#include "platform/linux_update_framework.hpp"
#include "platform/linux_web_auth_session.hpp"
#include "platform/trusted_authorities.hpp"
#include "platform/url_opener.hpp"
#include "support/fake_browser.hpp"
#include "support/manual_clock.hpp"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace tessaron::testing {
namespace {

const QString tunnel = QStringLiteral("com.hallmere.tessaron.PacketTunnel");

using Answer = std::variant<SystemExtensionRequestResult, SystemExtensionError>;

class RecordingDelegate final : public SystemExtensionRequestDelegate {
    using Request = SystemExtensionRequest;

public:
    SystemExtensionReplacementAction actionForReplacingExtension(const Request&) override {
        ADD_FAILURE() << "nothing is ever replaced";
        return SystemExtensionReplacementAction::cancel;
    }
    void requestNeedsUserApproval(const Request&) override { ADD_FAILURE() << "nothing needs approval"; }
    void requestDidFinish(const Request&, SystemExtensionRequestResult result) override {
        answers.push_back(result);
    }
    void requestDidFail(const Request&, const SystemExtensionError& error) override {
        answers.push_back(error);
    }

    std::vector<Answer> answers;
};

TEST(LinuxSystemExtensionRequestsTest, FinishesOnlyWithTheTunnelProgramInstalledAndRunnableToADelegateAlive) {
    const QTemporaryDir folder;
    const auto program = folder.filePath(QStringLiteral("tessaron-tunnel"));
    const auto answersTo = [&](const QString& identifier) {
        LinuxSystemExtensionRequests requests(tunnel, program);
        RecordingDelegate delegate;
        requests.submit(std::make_shared<SystemExtensionRequest>(identifier, &delegate));
        EXPECT_TRUE(delegate.answers.empty()) << "answers come after submit() returns";
        QCoreApplication::sendPostedEvents();
        return delegate.answers;
    };
    const auto install = [&](QFileDevice::Permissions permissions) {
        QFile file(program);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        ASSERT_TRUE(file.setPermissions(permissions));
    };
    const auto failed = [](SystemExtensionError::Code code) {
        return std::vector<Answer>{SystemExtensionError::ofService(code)};
    };
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

    EXPECT_EQ(answersTo(tunnel), failed(SystemExtensionError::extensionNotFound)) << "missing";
    install(owner);
    EXPECT_EQ(answersTo(tunnel), failed(SystemExtensionError::validationFailed)) << "not executable";
    install(owner | QFileDevice::ExeOwner);
    EXPECT_EQ(answersTo(tunnel), std::vector<Answer>{SystemExtensionRequestResult::completed});
    EXPECT_EQ(answersTo(QStringLiteral("com.example.Other")),
              failed(SystemExtensionError::extensionNotFound));
    ASSERT_TRUE(QFile::remove(program));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("tessaron-tunnel")));
    EXPECT_EQ(answersTo(tunnel), failed(SystemExtensionError::validationFailed)) << "a folder";

    // The answer for a delegate that is gone is dropped rather than delivered into freed memory.
    LinuxSystemExtensionRequests requests(tunnel, program);
    auto gone = std::make_unique<RecordingDelegate>();
    requests.submit(std::make_shared<SystemExtensionRequest>(tunnel, gone.get()));
    gone.reset();
    QCoreApplication::sendPostedEvents();
}

using Result = WebAuthSession::Result;

QCoro::Task<> keep(QCoro::Task<Result> task, std::shared_ptr<std::optional<Result>> into) {
    *into = co_await std::move(task);
}

// The result lands in the returned value whenever the sign-in ends.
std::shared_ptr<std::optional<Result>> startSignIn(WebAuthSession& session, const QUrl& page) {
    auto result = std::make_shared<std::optional<Result>>();
    keep(session.authorize(page, QStringLiteral("tessaron")), result);
    return result;
}

// Listing the system's authorities takes a tenth of a second: it waits until a request asks for it, runs
// off the asking thread, and happens once for every transport of the process.
TEST(SharedTlsConfigurationTest, IsMadeOnceOffTheAskingThreadWhenFirstAskedFor) {
    std::atomic<int> made = 0;
    std::atomic<bool> onAskingThread = false;
    QThread* const asking = QThread::currentThread();
    SharedTlsConfiguration shared([&] {
        ++made;
        onAskingThread = QThread::currentThread() == asking;
        QSslConfiguration tls;
        tls.setPeerVerifyDepth(3);
        return tls;
    });
    EXPECT_EQ(made, 0);
    auto first = shared.get();
    auto second = shared.get();
    const auto depths = std::pair(first.result().peerVerifyDepth(), second.result().peerVerifyDepth());
    EXPECT_EQ(std::tuple(depths, made.load(), onAskingThread.load()), std::tuple(std::pair(3, 3), 1, false));
}

TEST(LinuxWebAuthSessionTest, EndsExactlyOnceWithTheFirstEnding) {
    using enum WebAuthSession::Outcome;
    const QUrl page("https://accounts.test/authorize?state=s1");
    const QUrl answer("tessaron://auth/callback?code=c1&state=s1");
    // How the sign-in ends, and the outcome and callback it hands over. No ending: no browser takes the page.
    const std::tuple<const char*, std::function<void(std::unique_ptr<LinuxWebAuthSession>&)>,
                     WebAuthSession::Outcome, QUrl>
        cases[] = {
            {"callback", [&](auto& s) { EXPECT_TRUE(s->deliverCallback(answer)); }, callback, answer},
            {"another scheme is no callback, then the user cancels",
             [&](auto& s) {
                 EXPECT_FALSE(s->deliverCallback(QUrl("https://tessaron.app/i/abc?code=1")));
                 s->cancel();
             },
             cancelled,
             {}},
            {"a newer sign-in", [&](auto& s) { startSignIn(*s, page); }, cancelled, {}},
            {"no browser for the page", nullptr, failed, {}},
            {"the desktop's opener gives up on the page",
             [&](auto&) { Q_EMIT UrlOpener::shared().failed(page); },
             failed,
             {}},
            {"the session goes away", [](auto& s) { s.reset(); }, cancelled, {}},
        };
    for (const auto& [name, end, outcome, callbackUrl] : cases) {
        SCOPED_TRACE(name);
        FakeBrowser browser;
        auto session = std::make_unique<LinuxWebAuthSession>();
        const auto result = startSignIn(*session, end ? page : QUrl("tessaron-nowhere://authorize"));
        EXPECT_EQ(browser.opened, end ? QList{page} : QList<QUrl>{});
        if (end)
            end(session);
        ASSERT_TRUE(result->has_value());
        EXPECT_EQ((*result)->outcome, outcome);
        EXPECT_EQ((*result)->callbackUrl, callbackUrl);
        if (session) {
            session->cancel();
            session->deliverCallback(answer);
            EXPECT_EQ((*result)->outcome, outcome) << "ended twice";
        }
    }
}

// The desktop's opener is run and heard: one that gives up, or cannot start, is a failure for its address;
// one that opens it is not.
TEST(UrlOpenerTest, ReportsTheAddressesTheDesktopsOpenerCouldNotOpen) {
    const QUrl address("https://tessaron.test/guide?a=1&b=%C3%A9");
    const std::tuple<QStringList, bool> openers[] = {
        {{"sh", "-c", "test \"$0\" = 'https://tessaron.test/guide?a=1&b=%C3%A9' && exit 3"}, true},
        {{"sh", "-c", "test \"$0\" = 'https://tessaron.test/guide?a=1&b=%C3%A9'"}, false},
        {{"/nonexistent/xdg-open"}, true},
    };
    for (const auto& [command, fails] : openers) {
        UrlOpener::shared().installAsWebHandler(command);
        QSignalSpy failures(&UrlOpener::shared(), &UrlOpener::failed);
        ASSERT_TRUE(QDesktopServices::openUrl(address));
        EXPECT_TRUE(failures.isEmpty()) << "never inside the call";
        // The opener is a real process: the wait is for it to end.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !failures.isEmpty() || UrlOpener::shared().findChildren<QProcess*>().isEmpty(); },
            5000));
        QCoreApplication::sendPostedEvents();
        const QList<QUrl> expected = fails ? QList{address} : QList<QUrl>{};
        QList<QUrl> reported;
        for (const auto& failure : failures)
            reported.append(failure.first().toUrl());
        EXPECT_EQ(reported, expected) << command.join(u' ').toStdString();
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

using namespace std::chrono_literals;
using Outcome = LinuxUpdateFramework::Outcome;

const QUrl page(QStringLiteral("https://tessaron.test/download/mac"));

// The dialogs and the delegate as the user and the application answer them; the finder answers after a
// second on the manual clock.
class LinuxUpdateFrameworkTest : public ::testing::Test,
                                 public UpdateDialogs,
                                 public UpdateFrameworkDelegate {
protected:
    LinuxUpdateFrameworkTest() { framework.setDelegate(this); }

    void showFound(const FoundUpdate& update, std::function<void()> download) override {
        shown.append("found " + update.version);
        if (pressDownload)
            download();
    }
    void showUpToDate() override { shown.append("up to date"); }
    void showCheckFailed() override { shown.append("failed"); }
    bool willInstallUpdateOnQuit(const FoundUpdate&, const std::function<void()>& installNow) override {
        if (required)
            installNow();
        return required;
    }
    QCoro::Task<Outcome> find() {
        co_await clock.sleep(1s);
        // A copy: co_return moves from what it is given.
        co_return Outcome(outcome);
    }
    void finish() { clock.advance(1s); }

    ManualClock clock;
    Outcome outcome = Outcome::found({"1.5", page});
    bool pressDownload = false;
    bool required = false;
    QStringList shown;
    QList<QUrl> opened;
    LinuxUpdateFramework framework{[this](bool) { return find(); }, *this,
                                   [this](const QUrl& url) {
                                       opened.append(url);
                                   }};
};

TEST_F(LinuxUpdateFrameworkTest, ARequiredFindOpensThePageOncePerReleaseFromBackgroundChecks) {
    required = true;
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
    EXPECT_TRUE(shown.isEmpty());
}

// No second check starts while one runs.
TEST_F(LinuxUpdateFrameworkTest, ShowsTheOutcomeOfUserChecksOnlyOneCheckAtATime) {
    QSignalSpy changes(&framework, &UpdateFramework::canCheckForUpdatesChanged);
    // The finder's outcome, whether the user asked, whether the user presses "download", what is shown and
    // how many pages are opened.
    const auto found = Outcome::found({QStringLiteral("1.5"), page});
    const std::tuple<Outcome, bool, bool, QStringList, qsizetype> cases[] = {
        {found, true, true, {"found 1.5"}, 1},
        {found, true, false, {"found 1.5"}, 0},
        {Outcome::upToDate(), true, false, {"up to date"}, 0},
        {Outcome::failed(), true, false, {"failed"}, 0},
        {found, false, true, {}, 0},
        {Outcome::failed(), false, false, {}, 0},
    };
    for (const auto& [result, userInitiated, press, expected, pages] : cases) {
        SCOPED_TRACE(expected.join(u' ').toStdString() + (userInitiated ? " asked" : " in background"));
        outcome = result;
        pressDownload = press;
        shown.clear();
        opened.clear();
        userInitiated ? framework.checkForUpdates() : framework.checkForUpdatesInBackground();
        EXPECT_FALSE(framework.canCheckForUpdates());
        framework.checkForUpdates();
        finish();
        EXPECT_TRUE(framework.canCheckForUpdates());
        EXPECT_EQ(std::pair(shown, opened.size()), std::pair(expected, pages));
    }
    EXPECT_EQ(changes.size(), 2 * qsizetype(std::size(cases)));
}

} // namespace
} // namespace tessaron::testing
