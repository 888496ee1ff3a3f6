#pragma once

#include "platform/clock.hpp"
#include "platform/one_shot.hpp"
#include "platform/tunnel_endpoint.hpp"
#include "platform/tunnel_messages.hpp"
#include "platform/vpn_connection.hpp"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>

namespace tessaron {

class TunnelChannel;

// The application's link to the tunnel process, shared by the connections of every configuration. It
// follows the state the tunnel pushes. A link that drops is attached again at once; while no tunnel runs
// it looks for one every few seconds, so it notices a tunnel that another instance of the application
// started. While attached it sets no timer.
//
// A client destroyed while coroutines wait on it leaves them waiting, or ends them with VpnError
// connectionFailed.
class TunnelClient : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds lookInterval{2000};
    static constexpr std::chrono::milliseconds lookTolerance = lookInterval / 5;
    // How long a tunnel may take to greet the client, and to answer a request.
    static constexpr std::chrono::seconds answerLimit{5};
    // How long a tunnel just launched may take to listen.
    static constexpr std::chrono::seconds launchLimit{5};

    TunnelClient(TunnelEndpoint endpoint, Clock& clock, QObject* parent = nullptr);
    ~TunnelClient() override;

    const TunnelState& state() const { return state_; }
    bool isAttached() const { return link_ == Link::attached; }

    // Attaches to the running tunnel, if there is one; never launches it. Returns once attached or once it
    // is clear that no tunnel answers.
    QCoro::Task<> attach();
    // Attaches, launching the tunnel first when none runs. Throws VpnError connectionFailed when the
    // tunnel does not come up.
    QCoro::Task<> attachLaunching();
    // Sends a request and returns the tunnel's reply. Throws VpnError connectionFailed when not attached,
    // when the link ends or the tunnel does not answer in time, or when it refuses the request.
    QCoro::Task<QJsonObject> request(QJsonObject message);
    // Sends a request whose reply nobody waits for; nothing happens when not attached.
    void post(const QJsonObject& message);

Q_SIGNALS:
    void stateChanged();

private:
    enum class Link { detached, attaching, attached };

    struct PendingReply {
        OneShot<std::optional<QJsonObject>> reply;
        Clock::TimerId timeout;
    };

    void beginAttach();
    void attachAgain();
    void lookWhileDetached();
    void settleAttach();
    void handle(const QJsonObject& message);
    void handleStatus(const QJsonObject& message);
    void answer(qint64 requestID, std::optional<QJsonObject> reply);
    void linkClosed(TunnelChannel* channel);
    bool launch() const;

    TunnelEndpoint endpoint_;
    Clock& clock_;
    Link link_ = Link::detached;
    TunnelChannel* channel_ = nullptr;
    Clock::TimerId attachTimeout_ = 0;
    QList<OneShot<bool>> attachWaiters_;
    std::map<qint64, PendingReply> pending_;
    qint64 nextRequestID_ = 1;
    TunnelState state_;
    std::unique_ptr<RepeatingTimer> looking_;
};

} // namespace tessaron
