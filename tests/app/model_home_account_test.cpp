#include "account/account_model_fixture.hpp"
#include "app/model_home_account.hpp"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

// The home view's refresh is the model's, and the account record it brings is announced and read.
TEST_F(AccountModelTest, TheHomeAccountReadsTheModelsRecordAfterItsRefresh) {
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
}

} // namespace
} // namespace tessaron::testing
