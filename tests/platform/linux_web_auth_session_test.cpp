#include "platform/linux_web_auth_session.hpp"

#include "support/fake_browser.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

namespace tessaron {
namespace {

using Outcome = WebAuthSession::Outcome;
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

TEST(LinuxWebAuthSessionTest, EndsExactlyOnceWithTheFirstEnding) {
    const QUrl page(QStringLiteral("https://accounts.test/authorize?state=s1"));
    const QUrl callback(QStringLiteral("tessaron://auth/callback?code=c1&state=s1"));
    const QUrl link(QStringLiteral("https://tessaron.app/i/abc?code=1"));
    struct Case {
        const char* name;
        QUrl page;
        std::function<void(std::unique_ptr<LinuxWebAuthSession>&)> end;
        Outcome outcome;
        QUrl callbackUrl;
    };
    const Case cases[] = {
        {"callback", page, [&](auto& s) { EXPECT_TRUE(s->deliverCallback(callback)); }, Outcome::callback,
         callback},
        {"another scheme is no callback, then the user cancels",
         page,
         [&](auto& s) {
             EXPECT_FALSE(s->deliverCallback(link));
             s->cancel();
         },
         Outcome::cancelled,
         {}},
        {"a newer sign-in", page, [&](auto& s) { startSignIn(*s, page); }, Outcome::cancelled, {}},
        {"no browser for the page",
         QUrl(QStringLiteral("tessaron-nowhere://authorize")),
         [](auto&) {},
         Outcome::failed,
         {}},
        {"the session goes away", page, [](auto& s) { s.reset(); }, Outcome::cancelled, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::FakeBrowser browser;
        auto session = std::make_unique<LinuxWebAuthSession>();
        const auto result = startSignIn(*session, c.page);
        EXPECT_EQ(browser.opened, c.page == page ? QList{page} : QList<QUrl>{});
        c.end(session);
        ASSERT_TRUE(result->has_value());
        EXPECT_EQ((*result)->outcome, c.outcome);
        EXPECT_EQ((*result)->callbackUrl, c.callbackUrl);
        if (session) {
            session->cancel();
            session->deliverCallback(callback);
            EXPECT_EQ((*result)->outcome, c.outcome) << "ended twice";
        }
    }
}

} // namespace
} // namespace tessaron
