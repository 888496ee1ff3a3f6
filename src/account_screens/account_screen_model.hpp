#pragma once

#include "account/account_client.hpp"
#include "account/login_flow.hpp"
#include "account/reply_records.hpp"
#include "platform/cancellation.hpp"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <optional>

namespace tessaron {

class TaskSlot;
class TessaronAccountModel;
class TessaronSession;

// What the account screens read of the account model and the operations they start. The screens redraw
// from `changed()`; every operation is the model's own.
class AccountScreenModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual const std::optional<TessaronAccount>& account() const = 0;
    virtual const std::optional<TessaronProviders>& providers() const = 0;
    virtual bool isServiceConfigured() const = 0;
    // A service is configured but the model knows neither its providers nor an account: it has not
    // answered in this run yet (the application started offline), and nothing would ask it again, since
    // the account section, absent meanwhile, runs no refresh of its own.
    bool awaitsFirstAnswer() const { return isServiceConfigured() && !providers() && !account(); }
    virtual bool isBusy() const = 0;
    virtual const std::optional<QString>& lastError() const = 0;
    virtual bool lastErrorIsOAuthCallback() const = 0;
    virtual const TessaronLoginFlow& flow() const = 0;
    virtual const QStringList& lastEvictedDeviceNames() const = 0;
    virtual const std::optional<QUrl>& subscriptionLocalURL() const = 0;
    virtual const std::optional<TessaronSubscriptionLinkStatus>& subscriptionStatus() const = 0;
    virtual bool subscriptionUnavailable() const = 0;
    virtual const std::optional<QString>& otherDevicesError() const = 0;
    virtual bool isSubscriptionBusy() const = 0;

    virtual void setEmail(const QString& email) = 0;
    virtual bool acceptCode(const QString& text) = 0;
    virtual void countDownResend() = 0;
    virtual void resetLoginFlow() = 0;
    virtual void cancelWebSignIn() = 0;

    virtual QCoro::Task<> refresh(TessaronSession* session, CancellationToken cancellation) = 0;
    virtual QCoro::Task<> startEmailSignIn() = 0;
    virtual QCoro::Task<> verifyEmailCode(TessaronSession* session) = 0;
    virtual QCoro::Task<> signIn(TessaronOAuthProvider provider, TessaronSession* session) = 0;
    virtual QCoro::Task<> signOut(TessaronSession* session) = 0;
    virtual QCoro::Task<> deleteAccount(TessaronSession* session) = 0;
    virtual QCoro::Task<> refreshSubscriptionLink(CancellationToken cancellation) = 0;
    virtual QCoro::Task<> createSubscriptionLink() = 0;
    virtual QCoro::Task<> replaceSubscriptionLink() = 0;
    virtual QCoro::Task<> revokeSubscriptionLink() = 0;

Q_SIGNALS:
    // Any published field changed.
    void changed();
};

// Refreshes `model` in `slot`, so that a newer refresh cancels the older; nothing once the model is gone.
void startRefresh(TaskSlot& slot, AccountScreenModel& model, QPointer<TessaronSession> session);

// The shared account model seen through the screens' interface.
class TessaronAccountScreenModel final : public AccountScreenModel {
    Q_OBJECT
public:
    explicit TessaronAccountScreenModel(TessaronAccountModel& model, QObject* parent = nullptr);

    const std::optional<TessaronAccount>& account() const override;
    const std::optional<TessaronProviders>& providers() const override;
    bool isServiceConfigured() const override;
    bool isBusy() const override;
    const std::optional<QString>& lastError() const override;
    bool lastErrorIsOAuthCallback() const override;
    const TessaronLoginFlow& flow() const override;
    const QStringList& lastEvictedDeviceNames() const override;
    const std::optional<QUrl>& subscriptionLocalURL() const override;
    const std::optional<TessaronSubscriptionLinkStatus>& subscriptionStatus() const override;
    bool subscriptionUnavailable() const override;
    const std::optional<QString>& otherDevicesError() const override;
    bool isSubscriptionBusy() const override;

    void setEmail(const QString& email) override;
    bool acceptCode(const QString& text) override;
    void countDownResend() override;
    void resetLoginFlow() override;
    void cancelWebSignIn() override;

    QCoro::Task<> refresh(TessaronSession* session, CancellationToken cancellation) override;
    QCoro::Task<> startEmailSignIn() override;
    QCoro::Task<> verifyEmailCode(TessaronSession* session) override;
    QCoro::Task<> signIn(TessaronOAuthProvider provider, TessaronSession* session) override;
    QCoro::Task<> signOut(TessaronSession* session) override;
    QCoro::Task<> deleteAccount(TessaronSession* session) override;
    QCoro::Task<> refreshSubscriptionLink(CancellationToken cancellation) override;
    QCoro::Task<> createSubscriptionLink() override;
    QCoro::Task<> replaceSubscriptionLink() override;
    QCoro::Task<> revokeSubscriptionLink() override;

private:
    TessaronAccountModel& model_;
};

} // namespace tessaron
