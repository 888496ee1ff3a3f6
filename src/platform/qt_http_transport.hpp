#pragma once

#include "platform/http_transport.hpp"
#include "platform/trusted_authorities.hpp"

#include <QFuture>
#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkRequest;

namespace tessaron {

struct QtHttpTransportOptions {
    // Replaces the production trust (productionTls()); tests trust their own CA and nothing else.
    std::optional<QList<QSslCertificate>> trustedAuthorities;
    // Divides every request's stall time-out, so a test proves a 15 s rule in 15 ms of real time.
    int timeoutDivisor = 1;
    // Where the production trust comes from: productionTls() unless a test holds its making back.
    std::function<QFuture<QSslConfiguration>()> productionSettings = productionTls;
};

// HttpTransport on a QNetworkAccessManager of the thread that creates it; send() is called on that thread.
// Ephemeral: no cookie is kept or sent and nothing is cached. Redirects are followed only on request;
// the body cap is the returned response's, and a followed redirect's body is dropped unread.
// Destroying the transport ends its pending requests as cancelled, at once also those still waiting for
// the TLS settings.
class QtHttpTransport final : public HttpTransport {
public:
    explicit QtHttpTransport(QtHttpTransportOptions options = {});
    ~QtHttpTransport() override;
    QtHttpTransport(const QtHttpTransport&) = delete;
    QtHttpTransport& operator=(const QtHttpTransport&) = delete;

    QCoro::Task<HttpOutcome> send(HttpRequest request, CancellationToken cancellation = {}) override;

private:
    // One request and its reply, without following redirects.
    QCoro::Task<HttpOutcome> exchange(HttpRequest request, CancellationToken cancellation);
    QNetworkRequest prepare(const HttpRequest& request, const QSslConfiguration& tls) const;
    QFuture<QSslConfiguration> tls() const;

    std::unique_ptr<QNetworkAccessManager> manager_;
    // None trusts as production does; its settings are made on the first request.
    std::optional<QSslConfiguration> trusted_;
    std::function<QFuture<QSslConfiguration>()> productionSettings_;
    int timeoutDivisor_;
    // Tells the transfers still running that their end comes from the transport going away.
    std::shared_ptr<std::atomic<bool>> closing_;
    // Ends the waits for the TLS settings with the transport.
    CancellationSource ending_;
};

} // namespace tessaron
