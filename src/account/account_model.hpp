#pragma once

#include "account/account_client.hpp"
#include "account/device_swap_center.hpp"
#include "account/login_flow.hpp"
#include "account/session_token_store.hpp"
#include "account/subscription_link_store.hpp"
#include "account/task_outcome.hpp"
#include "platform/cancellation.hpp"
#include "platform/keychain.hpp"
#include "platform/system_log.hpp"
#include "platform/web_auth_session.hpp"
#include "session/sign_in_state.hpp"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <exception>
#include <functional>
#include <optional>

namespace tessaron {

class TessaronSession;

// What the account model works with, handed in by the composition root or a test.
struct TessaronAccountServices {
    // None when no https service is configured: every network flow then does nothing.
    std::optional<TessaronAccountClient> client;
    TessaronSessionTokenStore tokenStore;
    TessaronSubscriptionLinkStore linkStore;
    // Throws TessaronInstallationIdentityError.
    std::function<QUuid()> installationID;
    std::function<QString()> deviceName;
    // Where the stores and installationID are called, since the keyring may take long to answer.
    Keychain& keychain;
    // Both must outlive the model.
    WebAuthSession& webAuth;
    TessaronDeviceSwapCenter& deviceSwap;
};

// The outcome of the platform's Sign in with Apple request: an error, or the credential's identity token
// (none when the credential carried none).
struct TessaronAppleSignInResult {
    static inline const QString authorizationErrorDomain = QStringLiteral("ASAuthorizationErrorDomain");
    static constexpr qint64 canceledCode = 1001;

    struct Failure {
        QString domain;
        qint64 code = 0;
    };
    std::optional<Failure> failure;
    std::optional<QByteArray> identityToken;
};

// The account side of the application: who is signed in, the sign-in flows, sign-out and deletion, the
// profile of the account's grant, and the links for other devices. Lives on the main thread.
//
// Results that arrive after the account changed are dropped: sign-in, sign-out, deletion and a refresh
// that finds the token revoked each start a new account generation, and a reply of an older one changes
// nothing but the busy flag of its flow. The account ends locally in a generation of its own, so nothing a
// flow started while sign-out waited comes back either.
class TessaronAccountModel final : public QObject, public TessaronSignInState {
    Q_OBJECT
    Q_PROPERTY(std::optional<tessaron::TessaronAccount> account READ account NOTIFY accountChanged)
    Q_PROPERTY(bool isSignedIn READ isSignedIn NOTIFY isSignedInChanged)
    Q_PROPERTY(std::optional<tessaron::TessaronProviders> providers READ providers NOTIFY providersChanged)
    Q_PROPERTY(bool isBusy READ isBusy NOTIFY isBusyChanged)
    Q_PROPERTY(std::optional<QString> lastError READ lastError NOTIFY lastErrorChanged)
    Q_PROPERTY(tessaron::TessaronLoginFlow flow READ flow NOTIFY flowChanged)
    Q_PROPERTY(
        QStringList lastEvictedDeviceNames READ lastEvictedDeviceNames NOTIFY lastEvictedDeviceNamesChanged)
    Q_PROPERTY(
        std::optional<QUrl> subscriptionLocalURL READ subscriptionLocalURL NOTIFY subscriptionLocalURLChanged)
    Q_PROPERTY(std::optional<tessaron::TessaronSubscriptionLinkStatus> subscriptionStatus READ
                   subscriptionStatus NOTIFY subscriptionStatusChanged)
    Q_PROPERTY(
        bool subscriptionUnavailable READ subscriptionUnavailable NOTIFY subscriptionUnavailableChanged)
    Q_PROPERTY(
        std::optional<QString> otherDevicesError READ otherDevicesError NOTIFY otherDevicesErrorChanged)
    Q_PROPERTY(bool isSubscriptionBusy READ isSubscriptionBusy NOTIFY isSubscriptionBusyChanged)

public:
    static inline const QString subscriptionLinkLabel = QStringLiteral("Windows / Android");
    static inline const QString callbackScheme = QStringLiteral("tessaron");
    // Set by the test harness: the launch refresh then waits to be asked for.
    static inline const QByteArray testHarnessVariable = "XCTestConfigurationFilePath";

    // Signed in once the stored token has been read; whatever depends on the sign-in awaits that read
    // through signInStateKnown(). Refreshes once, queued after that read, when `refreshOnLaunch` says so,
    // or, when it is none, unless the test harness variable is set.
    TessaronAccountModel(TessaronAccountServices services, std::optional<bool> refreshOnLaunch,
                         QObject* parent = nullptr);

    // Whether the stored token has been read, so that isSignedIn() is more than its initial false.
    bool isSignInStateKnown() const override { return signInStateKnown_; }
    // Never completes when the model ends first.
    QCoro::Task<> signInStateKnown() override;

    // Whether an account service is configured; without one every network flow does nothing.
    bool isServiceConfigured() const { return services_.client.has_value(); }

    // Published fields.
    const std::optional<TessaronAccount>& account() const { return account_; }
    bool isSignedIn() const override { return isSignedIn_; }
    const std::optional<TessaronProviders>& providers() const { return providers_; }
    bool isBusy() const { return isBusy_; }
    const std::optional<QString>& lastError() const { return lastError_; }
    // lastError came from the web sign-in's callback.
    bool lastErrorIsOAuthCallback() const { return lastErrorIsOAuthCallback_; }
    const TessaronLoginFlow& flow() const { return flow_; }
    const QStringList& lastEvictedDeviceNames() const { return lastEvictedDeviceNames_; }
    const std::optional<QUrl>& subscriptionLocalURL() const { return subscriptionLocalURL_; }
    const std::optional<TessaronSubscriptionLinkStatus>& subscriptionStatus() const {
        return subscriptionStatus_;
    }
    bool subscriptionUnavailable() const { return subscriptionUnavailable_; }
    const std::optional<QString>& otherDevicesError() const { return otherDevicesError_; }
    bool isSubscriptionBusy() const { return isSubscriptionBusy_; }

    // The sign-in view's fields.
    void setEmail(const QString& email);
    // True when the code just became complete.
    bool acceptCode(const QString& text);
    // One second of the resend wait has passed; never below zero.
    void countDownResend();

    // The providers, the account, and once per run the profile of the account's grant when the session has
    // no connection selected. Single-flight, though a cancelled refresh turns no later one away; waits for
    // the stored token's read; a cancelled refresh ends silently.
    QCoro::Task<> refresh(TessaronSession* session, CancellationToken cancellation = {});
    // Installs the profile of the account's active grant into an empty selection. Silent while another
    // flow is busy or once `token` is no longer the model's.
    QCoro::Task<> recoverProfileFromGrant(TessaronSession* session, QString token, bool deviceSwap,
                                          bool prompt, CancellationToken cancellation = {});
    void applyAuthSession(const TessaronAuthSession& authSession, TessaronSession* session);

    // E-mail code.
    void resetLoginFlow();
    QCoro::Task<> startEmailSignIn();
    QCoro::Task<> verifyEmailCode(TessaronSession* session);

    // Sign in with Apple and the web sign-in.
    QCoro::Task<> completeAppleSignIn(TessaronAppleSignInResult result, TessaronSession* session);
    QCoro::Task<> signIn(TessaronOAuthProvider provider, TessaronSession* session);
    // The user closed the sign-in view while the browser was out: the sign-in ends silently.
    void cancelWebSignIn();
    // Hands an opened URL to the waiting web sign-in. False, and nothing happens, when none waits.
    bool deliverWebCallback(const QUrl& url);

    // Leaving the account.
    QCoro::Task<> signOut(TessaronSession* session);
    QCoro::Task<> deleteAccount(TessaronSession* session);
    void clearSubscriptionLinkState();

    QCoro::Task<> linkProfileIfSignedIn(TessaronSession* session) override;

    // Links for other devices' clients.
    QCoro::Task<> refreshSubscriptionLink(CancellationToken cancellation = {});
    QCoro::Task<> createSubscriptionLink(CancellationToken cancellation = {});
    QCoro::Task<> replaceSubscriptionLink(CancellationToken cancellation = {});
    QCoro::Task<> revokeSubscriptionLink(CancellationToken cancellation = {});
    void applyCreatedSubscriptionLink(const TessaronSubscriptionLink& link, const QString& accountID);

    // The user's text for a failed sign-in, profile or deletion flow.
    static QString errorText(const std::exception_ptr& error);
    // The user's text for a failed link flow; empty for a cancellation.
    static QString otherDevicesErrorText(const std::exception_ptr& error);

Q_SIGNALS:
    void accountChanged(const std::optional<tessaron::TessaronAccount>& account);
    void isSignedInChanged(bool signedIn);
    void providersChanged(const std::optional<tessaron::TessaronProviders>& providers);
    void isBusyChanged(bool busy);
    void lastErrorChanged(const std::optional<QString>& message);
    void flowChanged(const tessaron::TessaronLoginFlow& flow);
    void lastEvictedDeviceNamesChanged(const QStringList& names);
    void subscriptionLocalURLChanged(const std::optional<QUrl>& url);
    void subscriptionStatusChanged(const std::optional<tessaron::TessaronSubscriptionLinkStatus>& status);
    void subscriptionUnavailableChanged(bool unavailable);
    void otherDevicesErrorChanged(const std::optional<QString>& message);
    void isSubscriptionBusyChanged(bool busy);
    void signInStateBecameKnown();

private:
    // What a link flow took at its start.
    struct LinkFlowStart {
        TessaronAccountClient client;
        QString token;
        QString accountID;
        quint64 generation;
    };

    template <typename T, typename Signal> void publish(T& field, T value, Signal changed) {
        if (field == value)
            return;
        field = std::move(value);
        Q_EMIT(this->*changed)(field);
    }
    void setAccount(std::optional<TessaronAccount> account);
    void setSignedIn(bool signedIn);
    void setBusy(bool busy);
    void setFlow(TessaronLoginFlow flow);
    void setEvictedDeviceNames(QStringList names);
    void showError(std::optional<QString> message, bool fromCallback = false);
    void showOtherDevicesError(std::optional<QString> message);
    void setSubscriptionLocalURL(std::optional<QUrl> url);
    void setSubscriptionStatus(std::optional<TessaronSubscriptionLinkStatus> status);
    void setSubscriptionUnavailable(bool unavailable);
    void setSubscriptionBusy(bool busy);

    QCoro::Task<> loadSessionToken(bool thenRefresh);
    // The token the flows send: the stored one, or the last sign-in's even when the Keychain refused it.
    const std::optional<QString>& sessionToken() const { return token_; }
    QCoro::Task<> saveSessionToken(QString token);
    void forgetSessionToken();
    // Keychain work whose result nobody awaits; it still takes its turn behind earlier work.
    template <typename Work> void inKeychain(Work work) { services_.keychain.run(std::move(work)); }
    QCoro::Task<TaskOutcome<QUuid>> readInstallationID() const;
    // Raises the busy flag over a cleared error; nothing, with the failure shown, when the installation has
    // no identifier.
    QCoro::Task<std::optional<QUuid>> beginSignIn();
    // A failed sign-in step: its text shown, the busy flag lowered.
    void failSignIn(const QString& message, bool fromCallback = false);
    QCoro::Task<> finishSignIn(TaskOutcome<TessaronAuthSession> outcome, QPointer<TessaronSession> session);
    QCoro::Task<> completeWebSignIn(TessaronAccountClient client, QUuid installation,
                                    QPointer<TessaronSession> session, WebAuthSession::Result result);
    void endAccountLocally();
    // Whether grant recovery may run now: into an empty selection, while no other flow is busy, with the
    // model's own token.
    bool mayRecover(const TessaronSession* session, const QString& token) const;
    void showDeviceSwap(const TessaronDeviceSlotError& error, QPointer<TessaronSession> session,
                        const QString& token);
    QCoro::Task<> performLink(QUuid profileID, QUuid installation, QString token);
    std::optional<LinkFlowStart> beginLinkFlow(bool clearsError);
    // Ends a link flow; false when the account changed while it waited.
    bool endLinkFlow(const LinkFlowStart& start);
    void showLinkFailure(const std::exception_ptr& error);
    QCoro::Task<bool> createLink(LinkFlowStart start, CancellationToken cancellation);
    void forgetSubscriptionLink(const QString& accountID);

    static QCoro::Task<> followUpSignIn(QPointer<TessaronAccountModel> self,
                                        QPointer<TessaronSession> session, QString token);
    static QCoro::Task<> retryWithSwap(QPointer<TessaronAccountModel> self, QPointer<TessaronSession> session,
                                       QString token);

    TessaronAccountServices services_;
    SystemLog log_{QStringLiteral("account")};

    std::optional<TessaronAccount> account_;
    bool isSignedIn_ = false;
    std::optional<TessaronProviders> providers_;
    bool isBusy_ = false;
    std::optional<QString> lastError_;
    bool lastErrorIsOAuthCallback_ = false;
    TessaronLoginFlow flow_;
    QStringList lastEvictedDeviceNames_;
    std::optional<QUrl> subscriptionLocalURL_;
    std::optional<TessaronSubscriptionLinkStatus> subscriptionStatus_;
    bool subscriptionUnavailable_ = false;
    std::optional<QString> otherDevicesError_;
    bool isSubscriptionBusy_ = false;

    bool signInStateKnown_ = false;
    bool isRefreshing_ = false;
    // The running refresh's cancellation, and its turn: only the latest refresh lowers the mark.
    CancellationToken runningRefresh_;
    quint64 refreshTurn_ = 0;
    bool didAttemptGrantRecovery_ = false;
    quint64 generation_ = 0;
    std::optional<QString> token_;
    // The "state" of the web sign-in waiting for its callback.
    std::optional<QString> expectedOAuthState_;
};

} // namespace tessaron
