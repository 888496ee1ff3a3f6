#include "account/account_model_fixture.hpp"
#include "app/foreground_invitation_recovery.hpp"
#include "app/opened_url_router.hpp"

#include "platform/system_log.hpp"
#include "support/run_task.hpp"

#include <gtest/gtest.h>

namespace tessaron {
namespace {

using Route = OpenedUrlRouter::Route;

TEST(OpenedUrlRouterTest, AWaitingSignInTakesItsSchemeAndLateCallbacksReachNoInvitation) {
    // The opened URL, whether a web sign-in waits, where the URL goes.
    const std::tuple<const char*, bool, Route> cases[] = {
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
    for (const auto& [text, signInWaiting, route] : cases) {
        SCOPED_TRACE(text);
        const QUrl url(QString::fromLatin1(text));
        testing::FakeWebAuthSession web;
        auto signIn = web.authorize({}, {});
        if (!signInWaiting)
            web.cancel();
        QList<QUrl> invitations;
        OpenedUrlRouter router(web, [&invitations](const QUrl& link) { invitations.append(link); });
        const SystemLog::Capture log;

        EXPECT_EQ(router.open(url), route);
        EXPECT_EQ(web.isPending(), signInWaiting && route != Route::webSignIn);
        web.cancel();
        EXPECT_EQ(testing::runTask(std::move(signIn)).callbackUrl, route == Route::webSignIn ? url : QUrl());
        EXPECT_EQ(invitations, route == Route::invitation ? QList{url} : QList<QUrl>{});
        EXPECT_EQ(log.messages(), route == Route::dropped ? QStringList{dropped} : QStringList{});
    }
}

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
