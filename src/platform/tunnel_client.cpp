#include "platform/tunnel_client.hpp"

#include "platform/system_log.hpp"
#include "platform/tunnel_channel.hpp"
#include "platform/tunnel_messages.hpp"

#include <QLocalSocket>
#include <QPointer>

#include <unistd.h>

namespace tessaron {

namespace {

using namespace std::chrono_literals;

constexpr auto launchPollInterval = 50ms;

const SystemLog& log() {
    static const SystemLog log(QStringLiteral("tunnel-client"));
    return log;
}

} // namespace

TunnelClient::TunnelClient(TunnelEndpoint endpoint, Clock& clock, QObject* parent)
    : QObject(parent)
    , endpoint_(std::move(endpoint))
    , clock_(clock) {
    beginAttach();
}

TunnelClient::~TunnelClient() {
    // The channel goes with this object; its last signals must not reach a client half torn down.
    if (channel_)
        channel_->disconnect(this);
    clock_.unschedule(attachTimeout_);
    for (const auto& [id, pending] : pending_)
        clock_.unschedule(pending.timeout);
}

QCoro::Task<> TunnelClient::attach() {
    if (link_ == Link::attached)
        co_return;
    OneShot<bool> settled;
    attachWaiters_.append(settled);
    if (link_ == Link::detached)
        beginAttach();
    co_await settled;
}

QCoro::Task<> TunnelClient::attachLaunching() {
    QPointer self(this);
    co_await attach();
    if (!self)
        throw VpnError(VpnErrorKind::connectionFailed);
    if (isAttached())
        co_return;
    if (!launch())
        throw VpnError(VpnErrorKind::connectionFailed);
    const auto deadline = clock_.monotonic() + launchLimit;
    while (clock_.monotonic() < deadline) {
        co_await clock_.sleep(launchPollInterval);
        if (!self)
            break;
        co_await attach();
        if (!self)
            break;
        if (isAttached())
            co_return;
    }
    throw VpnError(VpnErrorKind::connectionFailed);
}

QCoro::Task<QJsonObject> TunnelClient::request(QJsonObject message) {
    if (!isAttached()) {
        attachAgain();
        throw VpnError(VpnErrorKind::connectionFailed);
    }
    const auto id = nextRequestID_++;
    message.insert(tunnel_message::request, id);
    OneShot<std::optional<QJsonObject>> reply;
    const auto timeout = clock_.schedule(clock_.monotonic() + answerLimit, Clock::Duration::zero(),
                                         [this, id] { answer(id, std::nullopt); });
    pending_.emplace(id, PendingReply{reply, timeout});
    channel_->send(message);
    const auto answered = co_await reply;
    if (!answered || answered->contains(tunnel_message::error))
        throw VpnError(VpnErrorKind::connectionFailed);
    co_return *answered;
}

void TunnelClient::post(const QJsonObject& message) {
    if (isAttached())
        channel_->send(message);
    else
        attachAgain();
}

void TunnelClient::beginAttach() {
    link_ = Link::attaching;
    auto* socket = new QLocalSocket;
    channel_ = new TunnelChannel(socket, this);
    connect(channel_, &TunnelChannel::received, this, &TunnelClient::handle);
    connect(channel_, &TunnelChannel::closed, this, [this, channel = channel_] { linkClosed(channel); });
    // Only a tunnel of this user is trusted with the configurations; where the socket lies in a shared
    // temporary folder, someone else could be listening on it.
    connect(socket, &QLocalSocket::connected, channel_, [channel = channel_] {
        if (channel->peerUser() != getuid())
            channel->close();
    });
    attachTimeout_ = clock_.schedule(clock_.monotonic() + answerLimit, Clock::Duration::zero(), [this] {
        attachTimeout_ = 0;
        if (channel_)
            channel_->close();
    });
    socket->connectToServer(endpoint_.socketName);
}

// Waiters resume from the event loop, never inside a socket's signal.
void TunnelClient::settleAttach() {
    for (const auto& waiter : std::exchange(attachWaiters_, {}))
        QMetaObject::invokeMethod(
            this, [waiter, attached = isAttached()] { waiter.resume(attached); }, Qt::QueuedConnection);
}

void TunnelClient::handle(const QJsonObject& message) {
    const auto kind = message.value(tunnel_message::kind).toString();
    if (kind == tunnel_message::status)
        handleStatus(message);
    else if (kind == tunnel_message::reply)
        answer(message.value(tunnel_message::request).toInteger(), message);
}

void TunnelClient::handleStatus(const QJsonObject& message) {
    const auto state = tunnel_message::decodeState(message);
    if (link_ == Link::attaching) {
        link_ = Link::attached;
        clock_.unschedule(std::exchange(attachTimeout_, 0));
        looking_.reset();
        settleAttach();
    }
    if (state == state_)
        return;
    state_ = state;
    Q_EMIT stateChanged();
}

void TunnelClient::answer(qint64 requestID, std::optional<QJsonObject> reply) {
    const auto pending = pending_.find(requestID);
    if (pending == pending_.end())
        return;
    clock_.unschedule(pending->second.timeout);
    QMetaObject::invokeMethod(
        this, [shot = pending->second.reply, reply] { shot.resume(reply); }, Qt::QueuedConnection);
    pending_.erase(pending);
}

void TunnelClient::linkClosed(TunnelChannel* channel) {
    channel->deleteLater();
    if (channel != channel_)
        return;
    channel_ = nullptr;
    clock_.unschedule(std::exchange(attachTimeout_, 0));
    const auto wasAttached = link_ == Link::attached;
    link_ = Link::detached;
    settleAttach();
    // A link that was up is looked for again at once: the tunnel may only have restarted. Otherwise
    // look every few seconds until one answers.
    if (wasAttached)
        QMetaObject::invokeMethod(this, &TunnelClient::attachAgain, Qt::QueuedConnection);
    else
        lookWhileDetached();
    while (!pending_.empty())
        answer(pending_.begin()->first, std::nullopt);
    // A tunnel that vanishes while it carries a link has failed; the next tunnel starts from nothing.
    if (wasAttached && isLive(state_.status)) {
        state_.status = VpnStatus::disconnected;
        state_.lastError = PlatformError::from(VpnError(VpnErrorKind::connectionFailed));
        Q_EMIT stateChanged();
    }
}

void TunnelClient::attachAgain() {
    if (link_ == Link::detached)
        beginAttach();
}

void TunnelClient::lookWhileDetached() {
    if (!looking_)
        looking_ = clock_.repeat(lookInterval, lookTolerance, [this] { attachAgain(); });
}

bool TunnelClient::launch() const {
    if (endpoint_.launch())
        return true;
    log().error(QStringLiteral("cannot launch the tunnel"));
    return false;
}

} // namespace tessaron
