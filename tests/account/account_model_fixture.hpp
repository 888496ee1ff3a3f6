#pragma once

#include "account/account_model.hpp"
#include "account_fakes.hpp"
#include "session/session_harness.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>

namespace tessaron::testing {

inline const QString tokenAccount = QStringLiteral("tessaron.account.session");

// An account reply; with a grant id, one active grant.
QByteArray accountReply(const QString& id = QStringLiteral("acct-1"),
                        const std::optional<QString>& activeGrant = QStringLiteral("grant-1"));
// A sign-in reply with its token.
QByteArray authReply(const QString& token, const QString& accountID = QStringLiteral("acct-1"),
                     const QStringList& evicted = {});
// The profile reply of the account's grant.
QByteArray envelopeReply(const TessaronProfile& profile);
QByteArray slotTakenReply(const QString& slot, const QString& deviceName);

// The account model over a scripted account service, the session harness's Keychain and a real session.
class AccountModelTest : public ::testing::Test {
protected:
    AccountModelTest();
    ~AccountModelTest() override;

    TessaronAccountModel& build(std::optional<bool> refreshOnLaunch = false, bool withClient = true);
    TessaronSession& session();
    void storeToken(const QString& token);
    std::optional<QString> storedToken() const;
    // Runs the task and everything it queued.
    std::shared_ptr<Completion> run(QCoro::Task<> task);
    void settle() { harness.settle(); }

    SessionHarness harness;
    std::shared_ptr<ScriptedAccountService> serviceHandle = std::make_shared<ScriptedAccountService>();
    ScriptedAccountService& service = *serviceHandle;
    FakeWebAuthSession web;
    FakeDeviceSwapPresenter presenter;
    TessaronDeviceSwapCenter center{presenter};
    bool installationFails = false;
    std::unique_ptr<TessaronAccountModel> model;
};

} // namespace tessaron::testing
