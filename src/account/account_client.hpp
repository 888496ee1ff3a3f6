#pragma once

#include "account/account_error.hpp"
#include "account/account_records.hpp"
#include "account/device_slot.hpp"
#include "account/reply_records.hpp"
#include "platform/bundle_info.hpp"
#include "platform/cancellation.hpp"
#include "platform/clock.hpp"
#include "platform/http_transport.hpp"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tessaron {

enum class TessaronOAuthProvider { google, whop };

// The application's one path to the account service. Every endpoint goes through send(): fixed headers,
// a 15 s limit on the whole exchange, a 128 KiB cap on the reply (a longer one is refused, not cut),
// redirects followed as the transport follows them, and every final reply shown to the server upgrade
// gate. A status outside 2xx becomes a TessaronAccountError through the endpoint's own failure mapping; a
// cancelled caller gets a CancellationError instead.
//
// The client is a small value; copies share one immutable state with the transport, so a request in
// flight outlives the client it was started from. The clock must outlive every request.
class TessaronAccountClient {
public:
    // What an error reply carries besides its "error" code.
    struct FailureExtras {
        // "attemptsLeft" when it is a whole number.
        std::optional<qint64> attemptsLeft;
        std::optional<TessaronDeviceSlotError> deviceSlotError;
    };
    using FailureMapping = TessaronAccountError (*)(int status, const std::optional<QString>& code,
                                                    const FailureExtras& extras);
    // Sees every HTTP reply that stayed under the cap, success or not: the server upgrade gate.
    using ReplyObserver = std::function<void(int status, const QByteArray& body)>;

    static constexpr qint64 replySizeCap = 131'072;
    static constexpr std::chrono::seconds requestTimeout{15};

    TessaronAccountClient(QUrl baseURL, std::shared_ptr<HttpTransport> transport, Clock& clock,
                          ReplyObserver observeReply);

    // The client of the configured service, with a transport of its own, the system clock and the shared
    // upgrade gate; none when the Info file names no https base URL.
    static std::optional<TessaronAccountClient> makeDefault(const BundleInfo& info = BundleInfo::main());

    const QUrl& baseURL() const { return state_->baseURL; }

    // Returns the body of a 2xx reply, possibly empty. `path` is absolute ("/v1/account").
    QCoro::Task<QByteArray> send(QString path, QByteArray method, std::optional<QByteArray> body,
                                 std::optional<QString> token, bool deviceSwap, FailureMapping mapFailure,
                                 CancellationToken cancellation = {}) const;

    QCoro::Task<TessaronProviders> fetchProviders(CancellationToken cancellation = {}) const;
    QCoro::Task<TessaronAccount> fetchAccount(QString token, CancellationToken cancellation = {}) const;
    QCoro::Task<TessaronEmailChallenge> startEmailChallenge(QString email, QUuid installationID,
                                                            CancellationToken cancellation = {}) const;
    QCoro::Task<TessaronAuthSession> verifyEmailCode(QString challengeID, QString code, QUuid installationID,
                                                     QString deviceName,
                                                     CancellationToken cancellation = {}) const;
    QCoro::Task<TessaronAuthSession> signInWithApple(QString identityToken, QUuid installationID,
                                                     QString deviceName,
                                                     CancellationToken cancellation = {}) const;
    QCoro::Task<TessaronOAuthStart> startOAuth(TessaronOAuthProvider provider, QUuid installationID,
                                               CancellationToken cancellation = {}) const;
    QCoro::Task<TessaronAuthSession> exchangeOAuthCode(QString code, QUuid installationID, QString deviceName,
                                                       CancellationToken cancellation = {}) const;
    // Succeeds on any 2xx; the reply body is not read.
    QCoro::Task<> logout(QString token, CancellationToken cancellation = {}) const;
    QCoro::Task<> deleteAccount(QString token, CancellationToken cancellation = {}) const;
    // `deviceSwap` is set only when repeating the request after the user agreed to move the computer slot
    // to this device.
    QCoro::Task<TessaronProfileEnvelope> fetchProfile(QString token, QString grantID, QUuid installationID,
                                                      QString deviceName, bool deviceSwap,
                                                      CancellationToken cancellation = {}) const;
    QCoro::Task<TessaronAccount> linkProfile(QString token, QUuid profileID, QUuid installationID,
                                             CancellationToken cancellation = {}) const;
    // Returns the new link only when it passes isTrustedSubscriptionURL for the base URL's host.
    QCoro::Task<TessaronSubscriptionLink> createSubscriptionLink(QString token, QString deviceName,
                                                                 CancellationToken cancellation = {}) const;
    QCoro::Task<TessaronSubscriptionLinkStatus>
    fetchSubscriptionLinkStatus(QString token, CancellationToken cancellation = {}) const;
    QCoro::Task<> deleteSubscriptionLink(QString token, CancellationToken cancellation = {}) const;

    // The failure mappings. Statuses and codes compare exactly; anything not named, 3xx included, is
    // `server` with the status.
    static TessaronAccountError mapCommonFailure(int status, const std::optional<QString>& code,
                                                 const FailureExtras& extras);
    static TessaronAccountError mapEmailStartFailure(int status, const std::optional<QString>& code,
                                                     const FailureExtras& extras);
    static TessaronAccountError mapEmailVerificationFailure(int status, const std::optional<QString>& code,
                                                            const FailureExtras& extras);
    static TessaronAccountError mapAppleSignInFailure(int status, const std::optional<QString>& code,
                                                      const FailureExtras& extras);
    // A device-slot refusal wins over the status.
    static TessaronAccountError mapProfileFailure(int status, const std::optional<QString>& code,
                                                  const FailureExtras& extras);
    static TessaronAccountError mapLinkFailure(int status, const std::optional<QString>& code,
                                               const FailureExtras& extras);
    static TessaronAccountError mapSubscriptionLinkFailure(int status, const std::optional<QString>& code,
                                                           const FailureExtras& extras);

    // Whether a subscription link may be shown, copied and stored: HTTPS on the service's own host (any
    // port), no user information, query or fragment, and a path of "/v1/sub/" followed by a 43-character
    // URL-safe base64 token. The path is checked percent-decoded, so an encoded slash cannot pass for a
    // token character. An empty expected host trusts nothing.
    static bool isTrustedSubscriptionURL(const QUrl& url, const QString& expectedHost);

private:
    struct State {
        QUrl baseURL;
        std::shared_ptr<HttpTransport> transport;
        Clock* clock;
        ReplyObserver observeReply;
    };
    struct Request {
        QString path;
        QByteArray method;
        std::optional<QByteArray> body = std::nullopt;
        std::optional<QString> token = std::nullopt;
        bool deviceSwap = false;
    };

    static QCoro::Task<QByteArray> perform(std::shared_ptr<const State> state, Request request,
                                           FailureMapping mapFailure, CancellationToken cancellation);
    template <typename Record>
    static QCoro::Task<Record> fetchRecord(std::shared_ptr<const State> state, Request request,
                                           FailureMapping mapFailure, CancellationToken cancellation);
    static QCoro::Task<> fetchNothing(std::shared_ptr<const State> state, Request request,
                                      CancellationToken cancellation);
    static QCoro::Task<TessaronSubscriptionLink>
    fetchTrustedLink(std::shared_ptr<const State> state, Request request, CancellationToken cancellation);

    std::shared_ptr<const State> state_;
};

} // namespace tessaron
