#include "platform/qt_http_transport.hpp"

#include "platform/http_redirect.hpp"
#include "platform/one_shot.hpp"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcoronetworkreply.h>

#include <algorithm>
#include <limits>
#include <mutex>
#include <optional>

namespace tessaron {

namespace {

constexpr int maxRedirects = 16;

// An ephemeral session keeps no cookie and sends none.
class DiscardingCookieJar final : public QNetworkCookieJar {
public:
    QList<QNetworkCookie> cookiesForUrl(const QUrl&) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

HttpResponse responseOf(const QNetworkReply& reply, QByteArray body, bool truncated) {
    HttpResponse response;
    response.status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    response.headers = reply.rawHeaderPairs();
    response.body = std::move(body);
    response.truncated = truncated;
    return response;
}

// Collects the body as it arrives and stops the transfer at the first byte past the caller's cap, so no
// more than the cap is ever held. The cap is the returned response's: a redirect that the request follows
// is answered by its status and headers alone, and its body is left unread.
class BodyCollector {
public:
    explicit BodyCollector(const HttpRequest& request)
        : cap_(std::max<qint64>(request.maxBodyBytes, 0))
        , request_(request.followRedirects ? std::optional(request) : std::nullopt) {}

    // As the headers arrive, before any of the body.
    void headersArrived(QNetworkReply& reply) {
        if (!request_)
            return;
        auto head = responseOf(reply, {}, false);
        if (!redirectedRequest(*request_, head))
            return;
        redirect_ = std::move(head);
        reply.abort();
    }

    void drain(QNetworkReply& reply) {
        while (!redirect_ && !overflowed_ && reply.bytesAvailable() > 0) {
            const qint64 room = cap_ - body_.size();
            if (room == 0) {
                overflowed_ = true;
                reply.abort();
                return;
            }
            body_ += reply.read(std::min(room, reply.bytesAvailable()));
        }
    }

    bool overflowed() const { return overflowed_; }
    QByteArray take() { return std::move(body_); }
    // The redirect to follow, without its body.
    const std::optional<HttpResponse>& redirect() const { return redirect_; }

private:
    qint64 cap_;
    // The request, while it follows redirects.
    std::optional<HttpRequest> request_;
    QByteArray body_;
    bool overflowed_ = false;
    std::optional<HttpResponse> redirect_;
};

// Lets a cancellation from any thread abort the reply on the reply's own thread. Once released, the reply
// may be deleted and the aborter no longer reaches it.
class ReplyAborter {
public:
    explicit ReplyAborter(QNetworkReply* reply)
        : reply_(reply) {}

    void abort() {
        std::lock_guard lock(mutex_);
        if (reply_)
            QMetaObject::invokeMethod(reply_, &QNetworkReply::abort, Qt::QueuedConnection);
    }

    void release() {
        std::lock_guard lock(mutex_);
        reply_ = nullptr;
    }

private:
    std::mutex mutex_;
    QNetworkReply* reply_;
};

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

// Qt turns a status of 400 and above into an error of its own, but the reply is still the server's answer.
// Only the errors of the connection itself and a malformed reply are failures.
bool isServerAnswer(const QNetworkReply& reply) {
    const auto error = reply.error();
    if (error == QNetworkReply::NoError)
        return true;
    const bool hasStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    return hasStatus && error > QNetworkReply::UnknownNetworkError && error != QNetworkReply::ProtocolFailure;
}

HttpOutcome outcomeOf(const QNetworkReply& reply, BodyCollector& body, HttpRequest::Overflow overflow,
                      bool cancelled) {
    using Kind = HttpFailure::Kind;
    if (body.redirect())
        return *body.redirect();
    if (body.overflowed()) {
        if (overflow == HttpRequest::Overflow::fail)
            return HttpFailure{Kind::tooLarge, {}};
        return responseOf(reply, body.take(), true);
    }
    if (isServerAnswer(reply))
        return responseOf(reply, body.take(), false);
    const auto error = reply.error();
    // Qt ends a stalled transfer the same way as an abort; only our own aborts are cancellations.
    if (error == QNetworkReply::OperationCanceledError)
        return HttpFailure{cancelled ? Kind::cancelled : Kind::timedOut, {}};
    if (error == QNetworkReply::TimeoutError)
        return HttpFailure{Kind::timedOut, {}};
    return HttpFailure{Kind::transport, reply.errorString()};
}

// Hands the settings, once made, to the wait unless it has ended already.
QCoro::Task<> deliver(QFuture<QSslConfiguration> settings, OneShot<std::optional<QSslConfiguration>> first) {
    const auto made = co_await settings;
    first.resume(made);
}

// The settings once made, or none as soon as the request or the transport ends: making them may take a pool
// thread long, and a caller whose owner ended meanwhile must not be resumed into it then.
QCoro::Task<std::optional<QSslConfiguration>> settingsUnlessEnded(QFuture<QSslConfiguration> settings,
                                                                  CancellationToken request,
                                                                  CancellationToken transport) {
    if (settings.isFinished())
        co_return settings.result();
    OneShot<std::optional<QSslConfiguration>> first;
    deliver(settings, first);
    // Cancellation runs inside the canceller, often an owner's destructor: the waiter resumes after it.
    const auto end = [first] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [first] { first.resume(std::nullopt); }, Qt::QueuedConnection);
    };
    const auto requestEnded = request.onCancel(end);
    const auto transportEnded = transport.onCancel(end);
    auto made = co_await first;
    request.removeCallback(requestEnded);
    transport.removeCallback(transportEnded);
    co_return made;
}

QNetworkReply* start(QNetworkAccessManager& manager, const QNetworkRequest& request,
                     const HttpRequest& call) {
    // A custom HEAD would wait for a body that never comes; a custom GET would announce an empty one.
    if (call.method == "HEAD")
        return manager.head(request);
    if (call.method == "GET" && call.body.isEmpty())
        return manager.get(request);
    return manager.sendCustomRequest(request, call.method, call.body);
}

} // namespace

QtHttpTransport::QtHttpTransport(QtHttpTransportOptions options)
    : manager_(std::make_unique<QNetworkAccessManager>())
    , trusted_(options.trustedAuthorities ? std::optional(tlsTrusting(*options.trustedAuthorities))
                                          : std::nullopt)
    , productionSettings_(std::move(options.productionSettings))
    , timeoutDivisor_(std::max(options.timeoutDivisor, 1))
    , closing_(std::make_shared<std::atomic<bool>>(false)) {
    manager_->setCookieJar(new DiscardingCookieJar);
}

QtHttpTransport::~QtHttpTransport() {
    // Deleting a running reply would leave its coroutine waiting forever; aborting lets it finish.
    closing_->store(true);
    ending_.cancel();
    for (auto* reply : manager_->findChildren<QNetworkReply*>()) {
        if (reply->isRunning())
            reply->abort();
    }
}

QFuture<QSslConfiguration> QtHttpTransport::tls() const {
    return trusted_ ? QtFuture::makeReadyFuture(*trusted_) : productionSettings_();
}

QNetworkRequest QtHttpTransport::prepare(const HttpRequest& call, const QSslConfiguration& tls) const {
    QNetworkRequest request(call.url);
    for (const auto& [name, value] : call.headers)
        request.setRawHeader(name, value);
    request.setSslConfiguration(tls);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    const auto timeout = std::max<qint64>(call.timeout.count() / timeoutDivisor_, 1);
    request.setTransferTimeout(static_cast<int>(std::min<qint64>(timeout, std::numeric_limits<int>::max())));
    return request;
}

QCoro::Task<HttpOutcome> QtHttpTransport::send(HttpRequest request, CancellationToken cancellation) {
    // Redirects are followed here, one exchange at a time: Qt's own following can send the first request
    // twice over a kept-alive connection.
    const auto closing = closing_;
    for (int redirects = 0;; ++redirects) {
        auto outcome = co_await exchange(request, cancellation);
        if (!request.followRedirects || closing->load())
            co_return outcome;
        const auto* response = std::get_if<HttpResponse>(&outcome);
        auto next = response ? redirectedRequest(request, *response) : std::nullopt;
        if (!next)
            co_return outcome;
        if (redirects == maxRedirects)
            co_return HttpFailure{HttpFailure::Kind::transport, QStringLiteral("too many redirects")};
        request = std::move(*next);
    }
}

QCoro::Task<HttpOutcome> QtHttpTransport::exchange(HttpRequest request, CancellationToken cancellation) {
    Q_ASSERT(QThread::currentThread() == manager_->thread());
    if (cancellation.isCancelled())
        co_return HttpFailure{HttpFailure::Kind::cancelled, {}};

    const auto closing = closing_;
    const auto trust = co_await settingsUnlessEnded(tls(), cancellation, ending_.token());
    // The transport may have gone while its trust was being made.
    if (!trust || closing->load() || cancellation.isCancelled())
        co_return HttpFailure{HttpFailure::Kind::cancelled, {}};

    // Nothing after the reply is awaited touches `this`: the transport may be gone by then.
    const std::unique_ptr<QNetworkReply, DeleteLater> reply(
        start(*manager_, prepare(request, *trust), request));
    auto body = std::make_shared<BodyCollector>(request);
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, reply.get(),
                     [body, replied = reply.get()] { body->headersArrived(*replied); });
    QObject::connect(reply.get(), &QIODevice::readyRead, reply.get(),
                     [body, replied = reply.get()] { body->drain(*replied); });
    auto aborter = std::make_shared<ReplyAborter>(reply.get());
    const auto callback = cancellation.onCancel([aborter] { aborter->abort(); });

    co_await reply.get();

    cancellation.removeCallback(callback);
    aborter->release();
    body->drain(*reply);
    co_return outcomeOf(*reply, *body, request.overflow, cancellation.isCancelled() || closing->load());
}

} // namespace tessaron
