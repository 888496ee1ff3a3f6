#pragma once

#include "account_screens/account_screen_model.hpp"

#include <QStringList>

namespace tessaron::testing {

// Published fields the test sets and operations it records, each as "name" or "name(provider)" with the
// session it was handed.
class FakeAccountScreenModel final : public AccountScreenModel {
    Q_OBJECT
public:
    struct Call {
        QString name;
        TessaronSession* session = nullptr;
        bool operator==(const Call&) const = default;
    };

    const std::optional<TessaronAccount>& account() const override { return accountValue; }
    const std::optional<TessaronProviders>& providers() const override { return providersValue; }
    bool isBusy() const override { return busy; }
    const std::optional<QString>& lastError() const override { return error; }
    bool lastErrorIsOAuthCallback() const override { return errorFromCallback; }
    const TessaronLoginFlow& flow() const override { return flowValue; }
    const QStringList& lastEvictedDeviceNames() const override { return evicted; }
    const std::optional<QUrl>& subscriptionLocalURL() const override { return localURL; }
    const std::optional<TessaronSubscriptionLinkStatus>& subscriptionStatus() const override {
        return status;
    }
    bool subscriptionUnavailable() const override { return unavailable; }
    const std::optional<QString>& otherDevicesError() const override { return linkError; }
    bool isSubscriptionBusy() const override { return linkBusy; }

    void setEmail(const QString& email) override {
        flowValue.email = email;
        Q_EMIT changed();
    }
    bool acceptCode(const QString& text) override {
        const bool completed = flowValue.acceptCode(text);
        Q_EMIT changed();
        return completed;
    }
    void countDownResend() override {
        flowValue.resendRemaining = std::max(0, flowValue.resendRemaining - 1);
        Q_EMIT changed();
    }
    void resetLoginFlow() override { record(QStringLiteral("resetLoginFlow"), nullptr); }
    void cancelWebSignIn() override { record(QStringLiteral("cancelWebSignIn"), nullptr); }

    QCoro::Task<> refresh(TessaronSession* session, CancellationToken) override {
        return recorded(QStringLiteral("refresh"), session);
    }
    QCoro::Task<> startEmailSignIn() override {
        return recorded(QStringLiteral("startEmailSignIn"), nullptr);
    }
    QCoro::Task<> verifyEmailCode(TessaronSession* session) override {
        return recorded(QStringLiteral("verifyEmailCode"), session);
    }
    QCoro::Task<> signIn(TessaronOAuthProvider provider, TessaronSession* session) override {
        return recorded(provider == TessaronOAuthProvider::google ? QStringLiteral("signIn(google)")
                                                                  : QStringLiteral("signIn(whop)"),
                        session);
    }
    QCoro::Task<> signOut(TessaronSession* session) override {
        return recorded(QStringLiteral("signOut"), session);
    }
    QCoro::Task<> deleteAccount(TessaronSession* session) override {
        return recorded(QStringLiteral("deleteAccount"), session);
    }
    QCoro::Task<> refreshSubscriptionLink(CancellationToken) override {
        return recorded(QStringLiteral("refreshSubscriptionLink"), nullptr);
    }
    QCoro::Task<> createSubscriptionLink() override {
        return recorded(QStringLiteral("createSubscriptionLink"), nullptr);
    }
    QCoro::Task<> replaceSubscriptionLink() override {
        return recorded(QStringLiteral("replaceSubscriptionLink"), nullptr);
    }
    QCoro::Task<> revokeSubscriptionLink() override {
        return recorded(QStringLiteral("revokeSubscriptionLink"), nullptr);
    }

    // After changing fields directly.
    void publish() { Q_EMIT changed(); }
    QStringList names() const {
        QStringList list;
        for (const Call& call : calls)
            list.append(call.name);
        return list;
    }

    std::optional<TessaronAccount> accountValue;
    std::optional<TessaronProviders> providersValue;
    bool busy = false;
    std::optional<QString> error;
    bool errorFromCallback = false;
    TessaronLoginFlow flowValue;
    QStringList evicted;
    std::optional<QUrl> localURL;
    std::optional<TessaronSubscriptionLinkStatus> status;
    bool unavailable = false;
    std::optional<QString> linkError;
    bool linkBusy = false;
    QList<Call> calls;
    // Runs inside the next recorded operation, as the model's outcome would arrive.
    std::function<void()> outcome;

private:
    void record(const QString& name, TessaronSession* session) { calls.append({name, session}); }
    QCoro::Task<> recorded(QString name, TessaronSession* session) {
        record(name, session);
        if (auto run = std::exchange(outcome, nullptr)) {
            run();
            Q_EMIT changed();
        }
        co_return;
    }
};

} // namespace tessaron::testing
