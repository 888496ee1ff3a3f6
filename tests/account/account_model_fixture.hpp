#pragma once

#include "account/account_model.hpp"
#include "platform/one_shot.hpp"
#include "session/session_harness.hpp"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

#include <gtest/gtest.h>

#include <deque>

namespace tessaron::testing {

inline const QString testGroup = QStringLiteral("test.tessaron.shared");

// The account service per "METHOD /path": queued replies first, then the standing one, else unreachable.
// A request can be held open until release().
class ScriptedAccountService final : public HttpTransport {
public:
    struct Sent {
        QString call;
        QJsonObject body;
        QByteArray bearer;
        bool deviceSwap = false;
    };
    void answer(const QString& call, int status, QByteArray body = {}) {
        standing_[call] = {status, {}, body};
    }
    void enqueue(const QString& call, int status, QByteArray body = {}) {
        queued_[call].push_back({status, {}, body});
    }
    void holdNext(const QString& call) { holds_.append(call); }
    void release() {
        for (const auto& waiter : std::exchange(held_, {}))
            waiter.resume(true);
    }
    QList<Sent> sentTo(const QString& call) const {
        auto matching = sent;
        matching.removeIf([&](const Sent& s) { return s.call != call; });
        return matching;
    }
    QCoro::Task<HttpOutcome> send(HttpRequest request, CancellationToken cancellation = {}) override;

    QList<Sent> sent;

private:
    QMap<QString, std::deque<HttpResponse>> queued_;
    QMap<QString, HttpResponse> standing_;
    QStringList holds_;
    QList<OneShot<bool>> held_;
};

// The browser, finished by the test.
class FakeWebAuthSession final : public WebAuthSession {
public:
    QCoro::Task<Result> authorize(QUrl url, QString) override {
        opened.append(url);
        waiting_ = OneShot<Result>();
        const auto waiting = *waiting_;
        co_return co_await waiting;
    }
    bool isPending() const override { return waiting_ && !waiting_->isClaimed(); }
    bool deliverCallback(const QUrl& url) override { return finish({Outcome::callback, url}); }
    void cancel() override { finish({Outcome::cancelled, {}}); }
    bool finish(Result result) { return isPending() && waiting_->resume(std::move(result)); }

    QList<QUrl> opened;

private:
    std::optional<OneShot<Result>> waiting_;
};

// The device-swap dialogs, answered by the test.
class FakeDeviceSwapPresenter final : public TessaronDeviceSwapPresenting {
public:
    void confirmSwap(TessaronDeviceSlot, std::optional<QString> deviceName,
                     std::function<void(bool)> done) override {
        confirmations.append(deviceName.value_or(QString()));
        answer = std::move(done);
    }
    void showCooldown(QString message, std::function<void()> done) override {
        notices.append(message);
        dismiss = std::move(done);
    }

    QStringList confirmations, notices;
    std::function<void(bool)> answer;
    std::function<void()> dismiss;
};

inline const QByteArray accountReply =
    R"({"id":"acct-1","email":"ann@example.com","createdAt":"2026-03-05T14:30:00Z",)"
    R"("grants":[{"id":"old","type":"invite","status":"expired"},)"
    R"({"id":"grant-1","type":"invite","status":"active"}]})";
inline QByteArray authReply(const QString& token) {
    return R"({"sessionToken":")" + token.toUtf8() + R"(","account":)" + accountReply + "}";
}
inline QByteArray envelopeReply(const TessaronProfile& profile) {
    return R"({"profile":)" + profile.canonicalJSON() + "}";
}
inline QByteArray slotTakenReply(const QString& deviceName) {
    const QJsonObject reply{{"error", "device_slot_taken"}, {"slot", "computer"}, {"deviceName", deviceName}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

// A keyring that answers nothing until `delay` has passed on `clock`.
inline QCoro::Task<> releaseAfter(FakeKeychain* keychain, Clock* clock, Clock::Duration delay) {
    co_await clock->sleep(delay);
    keychain->release();
}

// The account model over a scripted service, the session harness's Keychain, and the harness's session.
class AccountModelTest : public ::testing::Test {
protected:
    ~AccountModelTest() override {
        model.reset();
        harness.settle();
    }

    void build(std::optional<bool> refreshOnLaunch = false) {
        build(TessaronAccountClient(QUrl(QStringLiteral("https://accounts.test")), serviceHandle,
                                    harness.clock, nullptr),
              refreshOnLaunch);
    }
    void build(TessaronAccountClient client, std::optional<bool> refreshOnLaunch) {
        model = std::make_unique<TessaronAccountModel>(
            TessaronAccountServices{
                .client = std::move(client),
                .tokenStore = TessaronSessionTokenStore(harness.keychain, harness.bundle),
                .linkStore = TessaronSubscriptionLinkStore(harness.keychain, harness.bundle),
                .installationID =
                    [] { return QUuid::fromString(QStringLiteral("3b5e1f0a-8c2d-4e7b-9a61-0d4c7e2f9b15")); },
                .deviceName = [] { return QStringLiteral("Ann’s Laptop"); },
                .keychain = harness.keychain,
                .webAuth = web,
                .deviceSwap = center,
            },
            refreshOnLaunch);
    }
    // Signed in with a stored token and the account fetched.
    void signedIn() {
        storeToken("tok-1");
        service.answer(QStringLiteral("GET /v1/account"), 200, accountReply);
        build();
        harness.settle(); // the stored token is read first
        run(model->refresh(nullptr));
    }
    void signInByEmail(const QString& token, TessaronSession* session) {
        service.answer(QStringLiteral("POST /v1/auth/email/start"), 200,
                       R"({"challengeID":"ch-1","resendAfterSeconds":30})");
        service.enqueue(QStringLiteral("POST /v1/auth/email/verify"), 200, authReply(token));
        model->setEmail(QStringLiteral("ann@example.com"));
        run(model->startEmailSignIn());
        model->acceptCode(QStringLiteral("123456"));
        run(model->verifyEmailCode(session));
    }
    TessaronSession& session() {
        if (!harness.session) {
            harness.grantConsent();
            track(harness.start().bootstrap());
            harness.settle();
        }
        return *harness.session;
    }
    void storeToken(const QByteArray& token) {
        harness.keychain.setItem(testGroup, accountKeychainService,
                                 TessaronSessionTokenStore::keychainAccount, token);
    }
    std::optional<QByteArray> storedItem(const QString& account) const {
        return harness.keychain.item(testGroup, accountKeychainService, account);
    }
    void run(QCoro::Task<> task) {
        track(std::move(task));
        harness.settle();
    }

    SessionHarness harness;
    std::shared_ptr<ScriptedAccountService> serviceHandle = std::make_shared<ScriptedAccountService>();
    ScriptedAccountService& service = *serviceHandle;
    FakeWebAuthSession web;
    FakeDeviceSwapPresenter presenter;
    TessaronDeviceSwapCenter center{presenter};
    std::unique_ptr<TessaronAccountModel> model;
};

} // namespace tessaron::testing
