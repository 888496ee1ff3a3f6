#include "app/foreground_invitation_recovery.hpp"
#include "app/opened_url_router.hpp"

#include "platform/system_log.hpp"

#include <gtest/gtest.h>

namespace tessaron {
namespace {

using Route = OpenedUrlRouter::Route;

class FakeWebSignIn final : public WebAuthSession {
public:
    bool pending = false;
    QList<QUrl> callbacks;

    QCoro::Task<Result> authorize(QUrl, QString) override { co_return Result{}; }
    bool isPending() const override { return pending; }
    bool deliverCallback(const QUrl& url) override {
        if (pending)
            callbacks.append(url);
        return std::exchange(pending, false);
    }
    void cancel() override { pending = false; }
};

TEST(OpenedUrlRouterTest, AWaitingSignInTakesItsSchemeAndLateCallbacksReachNoInvitation) {
    const struct {
        const char* url;
        bool signInWaiting;
        Route route;
    } cases[] = {
        // While a sign-in waits, even what looks like an invitation is its callback.
        {"tessaron://join?code=ABCD-EFGH", true, Route::webSignIn},
        {"https://tessaron.app/i/abc?code=1", true, Route::invitation},
        {"tessaron://auth/callback?code=c1&state=s1", false, Route::dropped},
        {"TESSARON://auth/callback?error=invalid_state", false, Route::dropped},
        {"tessaron://join?code=ABCD-EFGH", false, Route::invitation},
        {"tessaron://join?Error=x&STATE=y", false, Route::invitation},
        {"https://tessaron.app/i/abc?state=1", false, Route::invitation},
    };
    const QString dropped = QStringLiteral("sign-in callback dropped: no sign-in is waiting");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const QUrl url(QString::fromLatin1(c.url));
        FakeWebSignIn webSignIn;
        webSignIn.pending = c.signInWaiting;
        QList<QUrl> invitations;
        OpenedUrlRouter router(webSignIn, [&invitations](const QUrl& link) { invitations.append(link); });
        const SystemLog::Capture log;

        EXPECT_EQ(router.open(url), c.route);
        EXPECT_EQ(webSignIn.callbacks, c.route == Route::webSignIn ? QList{url} : QList<QUrl>{});
        EXPECT_EQ(invitations, c.route == Route::invitation ? QList{url} : QList<QUrl>{});
        EXPECT_EQ(log.messages(), c.route == Route::dropped ? QStringList{dropped} : QStringList{});
    }
}

// The first phase is the launch itself; each later return to active runs the recovery once.
TEST(ForegroundInvitationRecoveryTest, RunsOnLaterActivationsOnly) {
    using enum ScenePhase;
    const std::pair<std::vector<ScenePhase>, int> cases[] = {
        {{active}, 0},
        {{inactive, active}, 1},
        {{active, background, active, inactive, active}, 2},
        {{inactive, active, active}, 1}, // the same phase again
        {{active, inactive, background}, 0},
    };
    for (const auto& [phases, expected] : cases) {
        int runs = 0;
        ForegroundInvitationRecovery recovery([&runs] { ++runs; });
        for (const auto phase : phases)
            recovery.follow(phase);
        EXPECT_EQ(runs, expected) << ::testing::PrintToString(phases);
    }
}

} // namespace
} // namespace tessaron
