#include "packet_tunnel.hpp"

#include "platform/keychain.hpp"
#include "platform/preferences.hpp"
#include "platform/system_log.hpp"
#include "platform/tunnel_contract.hpp"
#include "profiles/profile.hpp"

#include <QJsonDocument>
#include <QTcpSocket>
#include <QVariantMap>

namespace tessaron {

namespace {

// Provider-configuration keys the tunnel reads besides the routing mode.
const QString profileKey = QStringLiteral("profile");
const QString killSwitchKey = QStringLiteral("killSwitch");
// The key that the stored profile item adds to the profile.
const QString transportKey = QStringLiteral("transport");

const SystemLog& log() {
    static const SystemLog log(QStringLiteral("tunnel"));
    return log;
}

PlatformError failure(qint64 code) {
    return {tunnel_failure::domain, code};
}

template <typename T>
std::optional<T> read(const ProviderConfiguration& configuration, const QString& key,
                      std::optional<T> (ProviderValue::*reader)() const) {
    const auto value = configuration.constFind(key);
    return value == configuration.constEnd() ? std::nullopt : (*value.*reader)();
}

} // namespace

PacketTunnel::PacketTunnel(Keychain& keychain, Preferences& group, Clock& clock, QObject* parent)
    : QObject(parent)
    , keychain_(keychain)
    , group_(group)
    , clock_(clock)
    , phase_{QStringLiteral("disconnected"), clock.now()} {}

PacketTunnel::~PacketTunnel() {
    abandonRun();
}

void PacketTunnel::start(const QUuid& configuration, const TunnelProviderProtocol& protocol) {
    abandonRun();
    protocol_ = protocol;
    target_.reset();
    attempts_ = 0;
    group_.remove(TessaronTunnelRoutingContract::sharedRoutingKey);
    state_.configuration = configuration;
    state_.lastError.reset();
    enter(VpnStatus::connecting, QStringLiteral("connecting"));
    const auto run = run_;
    pending_ = clock_.schedule(clock_.monotonic(), Clock::Duration::zero(), [this, run] {
        pending_ = 0;
        proceed(run);
    });
}

void PacketTunnel::stop() {
    if (!isLive(state_.status) || state_.status == VpnStatus::disconnecting)
        return;
    abandonRun();
    state_.lastError.reset();
    enter(VpnStatus::disconnecting, QStringLiteral("disconnecting"));
    const auto run = run_;
    pending_ = clock_.schedule(clock_.monotonic(), Clock::Duration::zero(), [this, run] {
        pending_ = 0;
        finishStop(run);
    });
}

std::optional<QByteArray> PacketTunnel::answer(const QByteArray& message) const {
    if (message == TessaronTunnelPhaseContract::message.toUtf8())
        return phaseReport();
    if (message == TessaronTunnelRoutingContract::message.toUtf8() && target_)
        return routingLine().toUtf8();
    return std::nullopt;
}

void PacketTunnel::setScript(const QString& server, std::optional<NodeScript> script) {
    if (script)
        scripts_.insert(server, *script);
    else
        scripts_.remove(server);
}

PacketTunnel::Target PacketTunnel::readTarget(const TunnelProviderProtocol& protocol) const {
    const auto& configuration = protocol.providerConfiguration;
    if (!configuration || !protocol.passwordReference)
        throw failure(tunnel_failure::configurationIncomplete);
    const auto item = keychain_.resolve(*protocol.passwordReference);
    if (item.status != keychain_status::success)
        throw failure(tunnel_failure::profileUnavailable);
    // The configuration carries the profile for the chosen transport; the item holds it too.
    const auto data = read(*configuration, profileKey, &ProviderValue::dataValue).value_or(item.value);
    const auto document = QJsonDocument::fromJson(data);
    try {
        const auto profile = TessaronProfile::fromJSON(document.object(), {.allowTransportKeys = true});
        return {
            .server = profile.server,
            .port = quint16(profile.port),
            .transport = document.object().value(transportKey).toString(QStringLiteral("tcp")),
            .routingMode =
                read(*configuration, TessaronTunnelRoutingContract::routingModeKey, &ProviderValue::textValue)
                    .value_or(TessaronTunnelRoutingContract::smart),
            .killSwitch = read(*configuration, killSwitchKey, &ProviderValue::booleanValue).value_or(true),
        };
    } catch (const TessaronError&) {
        throw failure(tunnel_failure::profileUnavailable);
    }
}

void PacketTunnel::proceed(quint64 run) {
    if (run != run_)
        return;
    try {
        target_ = readTarget(protocol_);
    } catch (const PlatformError& error) {
        fail(error.code());
        return;
    }
    const auto script = scripts_.value(target_->server);
    if (script.failWith) {
        fail(*script.failWith);
        return;
    }
    if (script.stayConnecting)
        return;
    ++attempts_;
    lookup_ = QHostInfo::lookupHost(target_->server, this,
                                    [this, run](const QHostInfo& info) { resolved(run, info); });
}

void PacketTunnel::resolved(quint64 run, const QHostInfo& info) {
    if (run != run_)
        return;
    lookup_ = -1;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        fail(tunnel_failure::serverNotResolved);
        return;
    }
    auto* socket = new QTcpSocket(this);
    socket_ = socket;
    connect(socket, &QTcpSocket::connected, this, [this, run] { reached(run); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, run] {
        if (run == run_)
            fail(tunnel_failure::serverUnreachable);
    });
    pending_ = clock_.schedule(clock_.monotonic() + connectLimit, Clock::Duration::zero(), [this, run] {
        pending_ = 0;
        if (run == run_)
            fail(tunnel_failure::connectTimedOut);
    });
    socket->connectToHost(info.addresses().constFirst(), target_->port);
}

void PacketTunnel::reached(quint64 run) {
    if (run != run_)
        return;
    // The node answered; holding the connection open would tell nothing more.
    abandonRun();
    // Written before the status goes out, so an application that sees connected finds the line.
    group_.setValue(TessaronTunnelRoutingContract::sharedRoutingKey, routingLine());
    connectedAt_ = clock_.now();
    connectedMonotonic_ = clock_.monotonic();
    enter(VpnStatus::connected, QStringLiteral("connected"));
}

void PacketTunnel::fail(qint64 code) {
    abandonRun();
    log().error(QStringLiteral("failed %1 %2").arg(tunnel_failure::domain).arg(code));
    state_.lastError = failure(code);
    recordStop(QStringLiteral("failed"), code);
    enter(VpnStatus::disconnected, QStringLiteral("disconnected"));
}

void PacketTunnel::finishStop(quint64 run) {
    if (run != run_)
        return;
    recordStop(QStringLiteral("stopped"), std::nullopt);
    enter(VpnStatus::disconnected, QStringLiteral("disconnected"));
}

void PacketTunnel::abandonRun() {
    ++run_;
    if (lookup_ >= 0)
        QHostInfo::abortHostLookup(std::exchange(lookup_, -1));
    clock_.unschedule(std::exchange(pending_, 0));
    if (socket_) {
        socket_->abort();
        socket_->deleteLater();
    }
}

void PacketTunnel::enter(VpnStatus status, const QString& phase) {
    state_.status = status;
    phase_ = {phase, clock_.now()};
    Q_EMIT stateChanged();
}

void PacketTunnel::recordStop(const QString& reason, std::optional<qint64> code) {
    QVariantMap stop{{QStringLiteral("date"), clock_.now()}, {QStringLiteral("reason"), reason}};
    if (code)
        stop.insert(QStringLiteral("code"), *code);
    group_.setValue(tunnelLastStopKey, stop);
}

PacketTunnel::Phase PacketTunnel::currentPhase() const {
    if (state_.status != VpnStatus::connected || !target_)
        return phase_;
    const auto blockedAfter = scripts_.value(target_->server).blockedAfter;
    if (!blockedAfter || clock_.monotonic() - connectedMonotonic_ < *blockedAfter)
        return phase_;
    return {TessaronTunnelPhaseContract::blocked, connectedAt_.addMSecs(blockedAfter->count())};
}

QByteArray PacketTunnel::phaseReport() const {
    const auto phase = currentPhase();
    const auto lastError =
        state_.lastError ? QJsonValue(QStringLiteral("%1 %2").arg(state_.lastError->domain(),
                                                                  QString::number(state_.lastError->code())))
                         : QJsonValue(QJsonValue::Null);
    const QJsonObject report{
        {QStringLiteral("phase"), phase.name},
        {QStringLiteral("since"), double(phase.since.toMSecsSinceEpoch()) / 1000},
        {QStringLiteral("attempts"), attempts_},
        {QStringLiteral("lastError"), lastError},
    };
    return QJsonDocument(report).toJson(QJsonDocument::Compact);
}

QString PacketTunnel::routingLine() const {
    return QStringLiteral("%1 routing via %2:%3 over %4, kill switch %5")
        .arg(target_->routingMode, target_->server, QString::number(target_->port), target_->transport,
             target_->killSwitch ? QStringLiteral("on") : QStringLiteral("off"));
}

} // namespace tessaron
