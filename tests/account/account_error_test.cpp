#include "account/account_error.hpp"

#include "account_test_support.hpp"

#include <gtest/gtest.h>

using namespace tessaron;

namespace {
using Kind = TessaronAccountErrorKind;
using Slot = TessaronDeviceSlot;
} // namespace

TEST(AccountErrorTest, EveryCaseHasItsMessage) {
    const QDateTime swapAt(QDate(2026, 3, 5), QTime(14, 30), Qt::UTC);
    const std::pair<TessaronAccountError, QString> cases[] = {
        {TessaronAccountError::invalidCode(1), "That code is not right. 1 attempts left."},
        {TessaronAccountError::deviceSlot(TessaronDeviceSlotError::Taken{Slot::computer, "Ann's Mac"}),
         "Tessaron is set up on another device."},
        {TessaronAccountError::deviceSlot(TessaronDeviceSlotError::Locked{Slot::computer, std::nullopt}),
         "Tessaron is set up on another Mac. You can switch devices once every 30 days."},
        {TessaronAccountError::deviceSlot(TessaronDeviceSlotError::Locked{Slot::phone, swapAt}),
         TessaronDeviceSlotError::cooldownText(Slot::phone, swapAt)},
        {TessaronAccountError::network("transport"), "Tessaron could not reach the account service."},
        {TessaronAccountError::server(500), "The account service could not complete the request."},
        {TessaronAccountError(Kind::invalidEmail), "That email address doesn’t look right."},
        {TessaronAccountError(Kind::rateLimited), "Too many attempts. Try again later."},
        {TessaronAccountError(Kind::challengeExpired), "That code has expired. Request a new one."},
        {TessaronAccountError(Kind::emailRequired),
         "Your Apple ID doesn’t share an email address. Add one, then try again."},
        {TessaronAccountError(Kind::providerConflict),
         "This email already has an account with a different sign-in method."},
        {TessaronAccountError(Kind::unauthorized), "Please sign in again."},
        {TessaronAccountError(Kind::notYourGrant), "That access doesn’t belong to this account."},
        {TessaronAccountError(Kind::grantNotActive), "That access is no longer active."},
        {TessaronAccountError(Kind::unavailable), "Accounts are not available right now."},
        {TessaronAccountError(Kind::noAccess), "Get access first."},
        {TessaronAccountError(Kind::deviceLimit), "Device limit reached. Sign out another device first."},
        {TessaronAccountError(Kind::upgradeRequired), "Update Tessaron to continue."},
    };
    for (const auto& [error, message] : cases)
        EXPECT_EQ(error.userMessage(), message) << error.what();
}

TEST(AccountErrorTest, EqualOnlyWithTheSameCaseAndValue) {
    EXPECT_NE(TessaronAccountError::server(500), TessaronAccountError::server(418));
    EXPECT_NE(TessaronAccountError::network("transport"), TessaronAccountError::network("cancelled"));
    EXPECT_NE(TessaronAccountError::deviceSlot(TessaronDeviceSlotError::Taken{Slot::phone, "a"}),
              TessaronAccountError::deviceSlot(TessaronDeviceSlotError::Taken{Slot::phone, std::nullopt}));
    // Logs name the case by its position in the declaration.
    EXPECT_EQ(TessaronAccountError(Kind::upgradeRequired).code(), 15);
    EXPECT_EQ(TessaronAccountError(Kind::upgradeRequired).domain(), QStringLiteral("TessaronAccountError"));
}
