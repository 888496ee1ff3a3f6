#pragma once

#include "account/device_swap_presenting.hpp"
#include "platform/http_transport.hpp"
#include "platform/one_shot.hpp"
#include "platform/web_auth_session.hpp"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

namespace tessaron::testing {

// The account service as a test scripts it, per method and path. A path without a scripted answer fails
// as an unreachable service would. A request can be held open until the test releases it.
class ScriptedAccountService final : public HttpTransport {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
    };
    struct Sent {
        QString call; // "POST /v1/account/profile"
        QJsonObject body;
        QByteArray bearer;
        bool deviceSwap = false;
    };

    // Every later request of `call` gets this reply, after the enqueued ones.
    void answer(const QString& call, int status, QByteArray body = {});
    // The next request of `call` gets this reply.
    void enqueue(const QString& call, int status, QByteArray body = {});
    // The next request of `call` waits for release(); its reply is chosen then.
    void holdNext(const QString& call) { holds_.append(call); }
    void release();
    int heldCount() const { return int(held_.size()); }

    QStringList calls() const;
    QList<Sent> sentTo(const QString& call) const;
    QList<Sent> sent;

    QCoro::Task<HttpOutcome> send(HttpRequest request, CancellationToken cancellation = {}) override;

private:
    HttpOutcome replyTo(const QString& call);

    QMap<QString, std::deque<Reply>> queued_;
    QMap<QString, Reply> standing_;
    QStringList holds_;
    std::deque<OneShot<bool>> held_;
};

// The browser sign-in, finished by the test.
class FakeWebAuthSession final : public WebAuthSession {
public:
    QCoro::Task<Result> authorize(QUrl url, QString callbackScheme) override;
    bool isPending() const override { return waiting_ && !waiting_->isClaimed(); }
    bool deliverCallback(const QUrl& url) override;
    void cancel() override;
    // The browser could not be opened.
    void fail();

    QList<QUrl> opened;
    QStringList schemes;

private:
    std::optional<OneShot<Result>> waiting_;
};

// The device-swap dialogs; the test answers them.
class FakeDeviceSwapPresenter final : public TessaronDeviceSwapPresenting {
public:
    struct Confirmation {
        TessaronDeviceSlot slot;
        std::optional<QString> deviceName;
    };

    void confirmSwap(TessaronDeviceSlot slot, std::optional<QString> deviceName,
                     std::function<void(bool)> completion) override {
        confirmations.append({slot, std::move(deviceName)});
        answer_ = std::move(completion);
    }
    void showCooldown(QString message, std::function<void()> completion) override {
        notices.append(std::move(message));
        dismiss_ = std::move(completion);
    }
    void answer(bool confirmed) { std::exchange(answer_, nullptr)(confirmed); }
    void dismissNotice() { std::exchange(dismiss_, nullptr)(); }

    QList<Confirmation> confirmations;
    QStringList notices;

private:
    std::function<void(bool)> answer_;
    std::function<void()> dismiss_;
};

} // namespace tessaron::testing
