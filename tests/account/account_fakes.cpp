#include "account_fakes.hpp"

#include <QJsonDocument>

namespace tessaron::testing {

void ScriptedAccountService::answer(const QString& call, int status, QByteArray body) {
    standing_.insert(call, {status, std::move(body)});
}

void ScriptedAccountService::enqueue(const QString& call, int status, QByteArray body) {
    queued_[call].push_back({status, std::move(body)});
}

void ScriptedAccountService::release() {
    auto held = std::exchange(held_, {});
    for (const auto& waiter : held)
        waiter.resume(true);
}

QStringList ScriptedAccountService::calls() const {
    QStringList calls;
    for (const auto& request : sent)
        calls.append(request.call);
    return calls;
}

QList<ScriptedAccountService::Sent> ScriptedAccountService::sentTo(const QString& call) const {
    QList<Sent> matching;
    for (const auto& request : sent) {
        if (request.call == call)
            matching.append(request);
    }
    return matching;
}

HttpOutcome ScriptedAccountService::replyTo(const QString& call) {
    auto& queue = queued_[call];
    if (!queue.empty()) {
        auto reply = std::move(queue.front());
        queue.pop_front();
        return HttpResponse{.status = reply.status, .headers = {}, .body = reply.body, .truncated = false};
    }
    const auto standing = standing_.constFind(call);
    if (standing == standing_.constEnd())
        return HttpFailure{HttpFailure::Kind::transport, QStringLiteral("unreachable")};
    return HttpResponse{
        .status = standing->status, .headers = {}, .body = standing->body, .truncated = false};
}

QCoro::Task<HttpOutcome> ScriptedAccountService::send(HttpRequest request, CancellationToken cancellation) {
    Sent record{.call = QString::fromLatin1(request.method) + u' ' + request.url.path(),
                .body = QJsonDocument::fromJson(request.body).object(),
                .bearer = {},
                .deviceSwap = false};
    for (const auto& [name, value] : request.headers) {
        if (name == "Authorization")
            record.bearer = value.mid(int(qstrlen("Bearer ")));
        if (name == "X-Tessaron-Device-Swap")
            record.deviceSwap = value == "1";
    }
    const QString call = record.call;
    sent.append(std::move(record));
    if (holds_.removeOne(call)) {
        OneShot<bool> released;
        held_.push_back(released);
        const auto id = cancellation.onCancel([released] { released.resume(false); });
        const bool answered = co_await released;
        cancellation.removeCallback(id);
        if (!answered)
            co_return HttpFailure{HttpFailure::Kind::cancelled, {}};
    }
    if (cancellation.isCancelled())
        co_return HttpFailure{HttpFailure::Kind::cancelled, {}};
    co_return replyTo(call);
}

QCoro::Task<WebAuthSession::Result> FakeWebAuthSession::authorize(QUrl url, QString callbackScheme) {
    cancel();
    opened.append(url);
    schemes.append(callbackScheme);
    OneShot<Result> waiting;
    waiting_ = waiting;
    co_return co_await waiting;
}

bool FakeWebAuthSession::deliverCallback(const QUrl& url) {
    return isPending() && waiting_->resume({Outcome::callback, url});
}

void FakeWebAuthSession::cancel() {
    if (isPending())
        waiting_->resume({Outcome::cancelled, {}});
}

void FakeWebAuthSession::fail() {
    if (isPending())
        waiting_->resume({Outcome::failed, {}});
}

} // namespace tessaron::testing
