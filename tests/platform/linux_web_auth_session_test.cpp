#include "platform/linux_web_auth_session.hpp"

#include "support/run_task.hpp"

#include <QDesktopServices>
#include <QObject>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

namespace tessaron {
namespace {

using Outcome = WebAuthSession::Outcome;
using Result = WebAuthSession::Result;

// Stands in for the browser: records the pages it was asked to open and may act at once.
class FakeBrowser : public QObject {
    Q_OBJECT
public:
    FakeBrowser() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
    ~FakeBrowser() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }

    QList<QUrl> opened;
    std::function<void()> onOpen;

public Q_SLOTS:
    void open(const QUrl& url) {
        opened.append(url);
        if (onOpen)
            onOpen();
    }
};

const QUrl authorizeUrl(QStringLiteral("https://accounts.test/authorize?state=s1"));
const QUrl callbackUrl(QStringLiteral("tessaron://auth/callback?code=c1&state=s1"));

// Starts a sign-in and keeps its result, which arrives whenever the sign-in ends.
struct StartedSignIn {
    std::shared_ptr<std::optional<Result>> result = std::make_shared<std::optional<Result>>();

    static QCoro::Task<> await(QCoro::Task<Result> task, std::shared_ptr<std::optional<Result>> into) {
        *into = co_await std::move(task);
    }
    StartedSignIn(WebAuthSession& session, QUrl url = authorizeUrl) {
        await(session.authorize(std::move(url), QStringLiteral("tessaron")), result);
    }
};

class LinuxWebAuthSessionTest : public ::testing::Test {
protected:
    FakeBrowser browser;
    LinuxWebAuthSession session;
};

TEST_F(LinuxWebAuthSessionTest, OpensThePageAndEndsExactlyOnceWithTheFirstEnding) {
    struct Case {
        const char* name;
        std::function<void(LinuxWebAuthSession&)> end;
        Outcome outcome;
        QUrl callback;
    };
    const Case cases[] = {
        {"callback", [](auto& s) { EXPECT_TRUE(s.deliverCallback(callbackUrl)); }, Outcome::callback,
         callbackUrl},
        {"scheme in capitals",
         [](auto& s) { EXPECT_TRUE(s.deliverCallback(QUrl(QStringLiteral("TESSARON:x?code=1")))); },
         Outcome::callback, QUrl(QStringLiteral("tessaron:x?code=1"))},
        {"user cancels", [](auto& s) { s.cancel(); }, Outcome::cancelled, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        browser.opened.clear();
        StartedSignIn signIn(session);
        EXPECT_EQ(browser.opened, QList<QUrl>{authorizeUrl});
        EXPECT_TRUE(session.isPending());
        EXPECT_FALSE(signIn.result->has_value());

        c.end(session);
        ASSERT_TRUE(signIn.result->has_value());
        EXPECT_EQ((*signIn.result)->outcome, c.outcome);
        EXPECT_EQ((*signIn.result)->callbackUrl, c.callback);
        EXPECT_FALSE(session.isPending());
        // Nothing ends a sign-in twice.
        EXPECT_FALSE(session.deliverCallback(callbackUrl));
        session.cancel();
        EXPECT_EQ((*signIn.result)->outcome, c.outcome);
    }
}

TEST_F(LinuxWebAuthSessionTest, AUrlOfAnotherSchemeIsNoCallback) {
    StartedSignIn signIn(session);
    EXPECT_FALSE(session.deliverCallback(QUrl(QStringLiteral("https://tessaron.app/i/abc?code=1"))));
    EXPECT_TRUE(session.isPending());
    EXPECT_FALSE(signIn.result->has_value());
}

TEST_F(LinuxWebAuthSessionTest, ANewSignInCancelsTheWaitingOne) {
    StartedSignIn first(session);
    StartedSignIn second(session);
    ASSERT_TRUE(first.result->has_value());
    EXPECT_EQ((*first.result)->outcome, Outcome::cancelled);
    EXPECT_TRUE(session.deliverCallback(callbackUrl));
    EXPECT_EQ((*second.result)->outcome, Outcome::callback);
}

TEST_F(LinuxWebAuthSessionTest, ACallbackBeforeTheBrowserReturnsStillCounts) {
    browser.onOpen = [this] {
        session.deliverCallback(callbackUrl);
    };
    StartedSignIn signIn(session);
    ASSERT_TRUE(signIn.result->has_value());
    EXPECT_EQ((*signIn.result)->outcome, Outcome::callback);
}

TEST_F(LinuxWebAuthSessionTest, ABrowserThatCannotOpenFailsTheSignIn) {
    // No handler and no desktop: nothing can open this scheme.
    StartedSignIn signIn(session, QUrl(QStringLiteral("tessaron-nowhere://authorize")));
    ASSERT_TRUE(signIn.result->has_value());
    EXPECT_EQ((*signIn.result)->outcome, Outcome::failed);
    EXPECT_FALSE(session.isPending());
}

TEST(LinuxWebAuthSessionLifetimeTest, ASessionDestroyedWhileWaitingEndsItsSignInAsCancelled) {
    FakeBrowser browser;
    auto session = std::make_unique<LinuxWebAuthSession>();
    StartedSignIn signIn(*session);
    session.reset();
    ASSERT_TRUE(signIn.result->has_value());
    EXPECT_EQ((*signIn.result)->outcome, Outcome::cancelled);
}

} // namespace
} // namespace tessaron

#include "linux_web_auth_session_test.moc"
