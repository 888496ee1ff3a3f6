#include "account/account_client.hpp"

#include "account/service_url.hpp"
#include "platform/bounded_exchange.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "profiles/build_label.hpp"
#include "profiles/identifiers.hpp"
#include "profiles/json_values.hpp"
#include "profiles/upgrade_gate.hpp"

#include <QJsonDocument>
#include <QJsonObject>

namespace tessaron {

namespace {

const QByteArray jsonMediaType = QByteArrayLiteral("application/json");

HttpRequest buildRequest(const QUrl& url, const QByteArray& method, const std::optional<QByteArray>& body,
                         const std::optional<QString>& token, bool deviceSwap) {
    HttpRequest request{
        .method = method,
        .url = url,
        .headers = {},
        .body = body.value_or(QByteArray()),
        .timeout = TessaronAccountClient::requestTimeout,
        .maxBodyBytes = TessaronAccountClient::replySizeCap,
        .overflow = HttpRequest::Overflow::fail,
        // The transport drops the token on a hop to another origin and never steps down to plain HTTP.
        .followRedirects = true,
    };
    if (body)
        request.headers.append({QByteArrayLiteral("Content-Type"), jsonMediaType});
    request.headers.append({QByteArrayLiteral("Accept"), jsonMediaType});
    if (token)
        request.headers.append({QByteArrayLiteral("Authorization"), "Bearer " + token->toUtf8()});
    request.headers.append({TessaronIdentifiers::clientHeader.toUtf8(), clientBuildLabel().toUtf8()});
    if (deviceSwap)
        request.headers.append({QByteArrayLiteral("X-Tessaron-Device-Swap"), QByteArrayLiteral("1")});
    return request;
}

struct ErrorReply {
    std::optional<QString> code;
    TessaronAccountClient::FailureExtras extras;
};

// An error body that is not a JSON object carries no code and no extras; it never fails the read.
ErrorReply readErrorReply(int status, const QByteArray& body) {
    ErrorReply reply;
    std::optional<QJsonObject> object;
    if (const auto document = QJsonDocument::fromJson(body); document.isObject())
        object = document.object();
    if (object) {
        if (const auto error = object->value(QStringLiteral("error"));
            error.isString() && !error.toString().isEmpty())
            reply.code = error.toString();
        reply.extras.attemptsLeft = integralValue(object->value(QStringLiteral("attemptsLeft")));
    }
    reply.extras.deviceSlotError = TessaronDeviceSlotError::fromReply(status, object);
    return reply;
}

TessaronAccountError transportFailure(HttpFailure::Kind kind) {
    return TessaronAccountError::network(kind == HttpFailure::Kind::tooLarge
                                             ? QStringLiteral("response too large")
                                             : QStringLiteral("transport"));
}

} // namespace

TessaronAccountClient::TessaronAccountClient(QUrl baseURL, std::shared_ptr<HttpTransport> transport,
                                             Clock& clock, ReplyObserver observeReply)
    : state_(std::make_shared<const State>(
          State{std::move(baseURL), std::move(transport), &clock, std::move(observeReply)})) {}

std::optional<TessaronAccountClient> TessaronAccountClient::makeDefault(const BundleInfo& info) {
    const auto baseURL = info.pairingBaseURL();
    if (!baseURL)
        return std::nullopt;
    return TessaronAccountClient(*baseURL, std::make_shared<QtHttpTransport>(), SystemClock::shared(),
                                 [](int status, const QByteArray& body) {
                                     TessaronServerUpgradeGate::shared().observe(status, body);
                                 });
}

QCoro::Task<QByteArray> TessaronAccountClient::send(QString path, QByteArray method,
                                                    std::optional<QByteArray> body,
                                                    std::optional<QString> token, bool deviceSwap,
                                                    FailureMapping mapFailure,
                                                    CancellationToken cancellation) const {
    return perform(state_,
                   Request{std::move(path), std::move(method), std::move(body), std::move(token), deviceSwap},
                   mapFailure, std::move(cancellation));
}

QCoro::Task<QByteArray> TessaronAccountClient::perform(std::shared_ptr<const State> state, Request request,
                                                       FailureMapping mapFailure,
                                                       CancellationToken cancellation) {
    const auto url = accountServiceURL(state->baseURL, request.path);
    if (!url)
        throw TessaronAccountError::network(QStringLiteral("invalid request URL"));
    if (cancellation.isCancelled())
        throw CancellationError();

    const auto outcome = co_await sendWithinLimit(
        state->transport.get(), state->clock, requestTimeout,
        buildRequest(*url, request.method, request.body, request.token, request.deviceSwap), cancellation);

    if (const auto* failure = std::get_if<HttpFailure>(&outcome)) {
        if (failure->kind == HttpFailure::Kind::cancelled)
            throw CancellationError();
        throw transportFailure(failure->kind);
    }
    const auto& response = std::get<HttpResponse>(outcome);
    if (state->observeReply)
        state->observeReply(response.status, response.body);
    if (response.status == 426)
        throw TessaronAccountError(TessaronAccountErrorKind::upgradeRequired);
    if (response.status >= 200 && response.status <= 299)
        co_return response.body;
    const auto reply = readErrorReply(response.status, response.body);
    throw mapFailure(response.status, reply.code, reply.extras);
}

} // namespace tessaron
