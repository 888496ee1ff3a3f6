#pragma once

#include "account_screens/account_screen_model.hpp"

#include <QStringList>

namespace tessaron::testing {

// Published fields the test sets, and the operations it records by name ("signIn(whop)") with the session
// each was handed.
class FakeAccountScreenModel final : public AccountScreenModel {
    Q_OBJECT
public:
    const std::optional<TessaronAccount>& account() const override { return accountValue; }
    const std::optional<TessaronProviders>& providers() const override { return providersValue; }
    bool isServiceConfigured() const override { return serviceConfigured; }
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
        publish();
    }
    bool acceptCode(const QString& text) override {
        const bool completed = flowValue.acceptCode(text);
        publish();
        return completed;
    }
    void countDownResend() override {
        flowValue.resendRemaining = std::max(0, flowValue.resendRemaining - 1);
        publish();
    }
    void resetLoginFlow() override { calls.append(QStringLiteral("resetLoginFlow")); }
    void cancelWebSignIn() override { calls.append(QStringLiteral("cancelWebSignIn")); }

    QCoro::Task<> refresh(TessaronSession* s, CancellationToken) override { return recorded("refresh", s); }
    QCoro::Task<> startEmailSignIn() override { return recorded("startEmailSignIn"); }
    QCoro::Task<> verifyEmailCode(TessaronSession* s) override { return recorded("verifyEmailCode", s); }
    QCoro::Task<> signIn(TessaronOAuthProvider provider, TessaronSession* s) override {
        return recorded(provider == TessaronOAuthProvider::google ? "signIn(google)" : "signIn(whop)", s);
    }
    QCoro::Task<> signOut(TessaronSession* s) override { return recorded("signOut", s); }
    QCoro::Task<> deleteAccount(TessaronSession* s) override { return recorded("deleteAccount", s); }
    QCoro::Task<> refreshSubscriptionLink(CancellationToken) override {
        return recorded("refreshSubscriptionLink");
    }
    QCoro::Task<> createSubscriptionLink() override { return recorded("createSubscriptionLink"); }
    QCoro::Task<> replaceSubscriptionLink() override { return recorded("replaceSubscriptionLink"); }
    QCoro::Task<> revokeSubscriptionLink() override { return recorded("revokeSubscriptionLink"); }

    // After changing fields directly.
    void publish() { Q_EMIT changed(); }

    std::optional<TessaronAccount> accountValue;
    std::optional<TessaronProviders> providersValue;
    bool serviceConfigured = false;
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
    QStringList calls;
    TessaronSession* lastSession = nullptr;
    // Runs inside the next recorded operation, as the model's outcome would arrive.
    std::function<void()> outcome;

private:
    QCoro::Task<> recorded(const char* name, TessaronSession* session = nullptr) {
        calls.append(QString::fromLatin1(name));
        lastSession = session;
        if (auto run = std::exchange(outcome, nullptr)) {
            run();
            publish();
        }
        co_return;
    }
};

} // namespace tessaron::testing
