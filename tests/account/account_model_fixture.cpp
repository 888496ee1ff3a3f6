#include "account_model_fixture.hpp"

#include <QJsonDocument>

namespace tessaron::testing {

QCoro::Task<HttpOutcome> ScriptedAccountService::send(HttpRequest request, CancellationToken cancellation) {
    const QString call = QString::fromLatin1(request.method) + u' ' + request.url.path();
    Sent record{call, QJsonDocument::fromJson(request.body).object(), {}, false};
    for (const auto& [name, value] : request.headers) {
        if (name == "Authorization")
            record.bearer = value.sliced(7);
        record.deviceSwap |= name == "X-Tessaron-Device-Swap";
    }
    sent.append(record);
    if (holds_.removeOne(call)) {
        OneShot<bool> released;
        held_.append(released);
        const auto id = cancellation.onCancel([released] { released.resume(false); });
        const bool answered = co_await released;
        cancellation.removeCallback(id);
        if (!answered)
            co_return HttpFailure{HttpFailure::Kind::cancelled, {}};
    }
    if (auto& queue = queued_[call]; !queue.empty()) {
        auto reply = std::move(queue.front());
        queue.pop_front();
        co_return reply;
    }
    if (standing_.contains(call))
        co_return standing_.value(call);
    co_return HttpFailure{HttpFailure::Kind::transport, QStringLiteral("unreachable")};
}

QByteArray authReply(const QString& token) {
    return R"({"sessionToken":")" + token.toUtf8() + R"(","account":)" + accountReply + "}";
}

QByteArray envelopeReply(const TessaronProfile& profile) {
    const QJsonObject envelope{{"profile", QJsonDocument::fromJson(profile.canonicalJSON()).object()}};
    return QJsonDocument(envelope).toJson(QJsonDocument::Compact);
}

QByteArray slotTakenReply(const QString& deviceName) {
    const QJsonObject reply{{"error", "device_slot_taken"}, {"slot", "computer"}, {"deviceName", deviceName}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

AccountModelTest::~AccountModelTest() {
    model.reset();
    harness.settle();
}

void AccountModelTest::build(std::optional<bool> refreshOnLaunch) {
    model = std::make_unique<TessaronAccountModel>(
        TessaronAccountServices{
            .client = TessaronAccountClient(QUrl(QStringLiteral("https://accounts.test")), serviceHandle,
                                            harness.clock, nullptr),
            .tokenStore = TessaronSessionTokenStore(harness.keychain, harness.bundle),
            .linkStore = TessaronSubscriptionLinkStore(harness.keychain, harness.bundle),
            .installationID =
                [] { return QUuid::fromString(QStringLiteral("3b5e1f0a-8c2d-4e7b-9a61-0d4c7e2f9b15")); },
            .deviceName = [] { return QStringLiteral("Ann’s Laptop"); },
            .webAuth = web,
            .deviceSwap = center,
        },
        refreshOnLaunch);
}

void AccountModelTest::signedIn() {
    storeToken("tok-1");
    service.answer(QStringLiteral("GET /v1/account"), 200, accountReply);
    build();
    run(model->refresh(nullptr));
}

void AccountModelTest::signInByEmail(const QString& token, TessaronSession* session) {
    service.answer(QStringLiteral("POST /v1/auth/email/start"), 200,
                   R"({"challengeID":"ch-1","resendAfterSeconds":30})");
    service.enqueue(QStringLiteral("POST /v1/auth/email/verify"), 200, authReply(token));
    model->setEmail(QStringLiteral("ann@example.com"));
    run(model->startEmailSignIn());
    model->acceptCode(QStringLiteral("123456"));
    run(model->verifyEmailCode(session));
}

TessaronSession& AccountModelTest::session() {
    if (!harness.session) {
        harness.grantConsent();
        track(harness.start().bootstrap());
        harness.settle();
    }
    return *harness.session;
}

} // namespace tessaron::testing
