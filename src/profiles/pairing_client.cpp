#include "profiles/pairing_client.hpp"

#include "platform/bounded_exchange.hpp"
#include "profiles/build_label.hpp"
#include "profiles/decoding_error.hpp"
#include "profiles/identifiers.hpp"
#include "profiles/pairing_error.hpp"
#include "profiles/profile_error.hpp"

#include <QJsonDocument>
#include <QJsonObject>

namespace tessaron {

namespace {

using Kind = TessaronPairingErrorKind;

constexpr int maximumPort = 65'535;

enum class Endpoint { redeem, roster };

[[noreturn]] void fail(Kind kind) {
    throw TessaronPairingError(kind);
}

QString lowerCaseText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces);
}

// The service's own reason for a failure, when the body is a JSON object that names one.
QString errorCode(const QByteArray& body) {
    return QJsonDocument::fromJson(body).object().value(QStringLiteral("error")).toString();
}

Kind failureKind(Endpoint endpoint, int status, const QByteArray& body) {
    switch (status) {
    case 400:
    case 403:
        if (errorCode(body) == u"invalid_consent")
            return Kind::invalidConsent;
        [[fallthrough]];
    case 409:
        return endpoint == Endpoint::redeem ? Kind::invitationUnavailable : Kind::unexpectedStatus;
    case 404:
    case 410:
        return endpoint == Endpoint::redeem ? Kind::invitationUnavailable : Kind::profileUnknown;
    case 429:
        return Kind::rateLimited;
    case 500:
    case 502:
    case 503:
    case 504:
        return Kind::serviceUnavailable;
    default:
        return Kind::unexpectedStatus;
    }
}

const HttpResponse& responseOf(const HttpOutcome& outcome) {
    if (const auto* failure = std::get_if<HttpFailure>(&outcome)) {
        switch (failure->kind) {
        case HttpFailure::Kind::cancelled:
            fail(Kind::cancelled);
        case HttpFailure::Kind::timedOut:
            fail(Kind::timedOut);
        case HttpFailure::Kind::tooLarge:
            throw TessaronPairingError::replyTooLarge();
        case HttpFailure::Kind::transport:
            fail(Kind::transportFailure);
        }
    }
    const auto& response = std::get<HttpResponse>(outcome);
    if (response.truncated || response.body.size() > TessaronPairingClient::maximumReplyBytes)
        throw TessaronPairingError::replyTooLarge();
    if (response.status < 100 || response.status > 599)
        fail(Kind::invalidResponse);
    return response;
}

template <typename Reply> Reply decodeReply(const QByteArray& body) {
    try {
        return Reply::decode(body);
    } catch (const JsonDecodingError&) {
        fail(Kind::invalidResponse);
    } catch (const TessaronProfileError&) {
        // One profile failing validation fails the whole reply.
        fail(Kind::invalidResponse);
    }
}

template <typename Reply>
QCoro::Task<Reply> exchange(HttpTransport* transport, Clock* clock, TessaronServerUpgradeGate* gate,
                            HttpRequest request, Endpoint endpoint, CancellationToken cancellation) {
    const auto outcome = co_await sendWithinLimit(transport, clock, TessaronPairingClient::requestTimeout,
                                                  std::move(request), std::move(cancellation));
    const auto& response = responseOf(outcome);
    if (response.status == TessaronServerUpgradeGate::upgradeRequiredStatus) {
        gate->report(response.status, response.body);
        fail(Kind::upgradeRequired);
    }
    if (response.status < 200 || response.status > 299)
        fail(failureKind(endpoint, response.status, response.body));
    co_return decodeReply<Reply>(response.body);
}

} // namespace

TessaronPairingOrigin::TessaronPairingOrigin(const QUrl& baseURL) {
    const bool usable = baseURL.isValid() && baseURL.scheme().compare(u"https", Qt::CaseInsensitive) == 0 &&
                        !baseURL.host().isEmpty() && baseURL.userInfo().isEmpty();
    const int port = baseURL.port();
    if (!usable || port == 0 || port > maximumPort)
        fail(Kind::invalidBaseURL);
    host_ = baseURL.host(QUrl::FullyEncoded).toLower();
    if (port > 0)
        port_ = port;
}

QUrl TessaronPairingOrigin::url(const QString& path) const {
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(host_);
    url.setPort(port_.value_or(-1));
    url.setPath(path);
    return url;
}

TessaronPairingClient::TessaronPairingClient(TessaronPairingOrigin origin, HttpTransport& transport,
                                             Clock& clock, TessaronServerUpgradeGate& gate,
                                             const BundleInfo& info)
    : origin_(std::move(origin))
    , transport_(&transport)
    , clock_(&clock)
    , gate_(&gate)
    , info_(info) {}

QCoro::Task<TessaronRedeemResult> TessaronPairingClient::redeem(QString code, QUuid redemptionID,
                                                                QUuid installationID, QString consentVersion,
                                                                CancellationToken cancellation) const {
    const QJsonObject body{
        {QStringLiteral("code"), code},
        {QStringLiteral("redemptionID"), lowerCaseText(redemptionID)},
        {QStringLiteral("installationID"), lowerCaseText(installationID)},
        {QStringLiteral("consentVersion"), consentVersion},
    };
    return exchange<TessaronRedeemResult>(transport_, clock_, gate_, request(redeemPath, body),
                                          Endpoint::redeem, std::move(cancellation));
}

QCoro::Task<TessaronRosterResponse> TessaronPairingClient::roster(QUuid profileID, QUuid installationID,
                                                                  CancellationToken cancellation) const {
    const QJsonObject body{
        {QStringLiteral("profileID"), lowerCaseText(profileID)},
        {QStringLiteral("installationID"), lowerCaseText(installationID)},
    };
    return exchange<TessaronRosterResponse>(transport_, clock_, gate_, request(rosterPath, body),
                                            Endpoint::roster, std::move(cancellation));
}

HttpRequest TessaronPairingClient::request(const QString& path, const QJsonObject& body) const {
    return HttpRequest{
        .method = "POST",
        .url = origin_.url(path),
        .headers =
            {
                {"Content-Type", "application/json"},
                {"Accept", "application/json"},
                {TessaronIdentifiers::clientHeader.toLatin1(), clientBuildLabel(info_).toLatin1()},
            },
        .body = QJsonDocument(body).toJson(QJsonDocument::Compact),
        .timeout = requestTimeout,
        .maxBodyBytes = maximumReplyBytes,
        .overflow = HttpRequest::Overflow::fail,
        .followRedirects = false,
    };
}

} // namespace tessaron
