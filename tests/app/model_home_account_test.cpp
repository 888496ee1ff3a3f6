#include "account/account_model_fixture.hpp"
#include "app/model_home_account.hpp"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

// The home view's account is the real model: its refresh fetches the account, a revoked token signs out.
TEST_F(AccountModelTest, TheHomeAccountFollowsTheModelThroughRefreshAndSignOut) {
    storeToken("tok-1");
    build();
    ModelHomeAccount home(*model);
    QSignalSpy changed(&home, &TessaronHomeAccount::changed);
    EXPECT_TRUE(home.isSignedIn());
    EXPECT_EQ(home.accountEmail(), std::nullopt) << "no account record yet";

    service.answer(QStringLiteral("GET /v1/account"), 200, accountReply);
    run(home.refresh(&session(), {}));
    EXPECT_EQ(home.accountEmail(), QStringLiteral("ann@example.com"));
    EXPECT_EQ(changed.size(), 1);

    service.answer(QStringLiteral("GET /v1/account"), 401);
    run(home.refresh(&session(), {}));
    EXPECT_FALSE(home.isSignedIn());
    EXPECT_EQ(home.accountEmail(), std::nullopt);
    EXPECT_GE(changed.size(), 2);
}

} // namespace
} // namespace tessaron::testing
