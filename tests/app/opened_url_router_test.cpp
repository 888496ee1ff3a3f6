#include "app/launch_arguments.hpp"
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
        if (!pending)
            return false;
        pending = false;
        callbacks.append(url);
        return true;
    }
    void cancel() override { pending = false; }
};

TEST(OpenedUrlRouterTest, AWaitingSignInTakesItsSchemeAndLateCallbacksReachNoInvitation) {
    struct Case {
        const char* url;
        bool signInWaiting;
        Route route;
    };
    const Case cases[] = {
        {"tessaron://auth/callback?code=c1&state=s1", true, Route::webSignIn},
        // While a sign-in waits, even what looks like an invitation is its callback.
        {"tessaron://join?code=ABCD-EFGH", true, Route::webSignIn},
        {"TESSARON://auth/callback?error=access_denied", true, Route::webSignIn},
        {"https://tessaron.app/i/abc?code=1", true, Route::invitation},
        {"tessaron://auth/callback?code=c1&state=s1", false, Route::dropped},
        {"tessaron://auth/callback?error=invalid_state", false, Route::dropped},
        {"tessaron:?state=", false, Route::dropped},
        {"tessaron://join?code=ABCD-EFGH", false, Route::invitation},
        {"tessaron://join?Error=x&STATE=y", false, Route::invitation},
        {"https://tessaron.app/i/abc?state=1", false, Route::invitation},
    };
    for (const Case& c : cases) {
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
        EXPECT_EQ(log.messages(),
                  c.route == Route::dropped
                      ? QStringList{QStringLiteral("sign-in callback dropped: no sign-in is waiting")}
                      : QStringList{});
    }
}

TEST(LaunchArgumentsTest, TakesAtMostOneAbsoluteUrl) {
    struct Case {
        QStringList arguments;
        std::optional<QUrl> url;
        bool valid;
    };
    const QString link = QStringLiteral("tessaron://auth/callback?code=a%20b");
    const Case cases[] = {
        {{}, std::nullopt, true},
        {{link}, QUrl(link), true},
        {{QStringLiteral("https://tessaron.app/i/x")},
         QUrl(QStringLiteral("https://tessaron.app/i/x")),
         true},
        {{QStringLiteral("just-a-word")}, std::nullopt, false},
        {{QStringLiteral("http://[::1")}, std::nullopt, false},
        {{link, link}, std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const auto parsed = LaunchArguments::parse(c.arguments);
        ASSERT_EQ(std::holds_alternative<LaunchArguments>(parsed), c.valid);
        if (c.valid) {
            EXPECT_EQ(std::get<LaunchArguments>(parsed).url, c.url);
        }
    }
}

} // namespace
} // namespace tessaron
