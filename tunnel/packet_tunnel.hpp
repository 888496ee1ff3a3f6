#pragma once

#include "node_script.hpp"

#include "platform/clock.hpp"
#include "platform/tunnel_messages.hpp"
#include "platform/tunnel_provider_manager.hpp"

#include <QDateTime>
#include <QHash>
#include <QHostInfo>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <optional>

class QTcpSocket;

namespace tessaron {

class Keychain;
class Preferences;

// The stand-in for the packet-tunnel extension. It takes the configuration the system hands it, reads
// the profile behind it, resolves the node and opens a TCP connection to it: reaching the node is what
// "connected" means here. It carries no packets.
//
// It answers the provider messages "phase" (a JSON phase report) and "routing" (one line), and keeps
// "tessaron.tunnel.routing" and "tessaron.tunnel.lastStop" in the application group's preferences.
class PacketTunnel : public QObject {
    Q_OBJECT
public:
    // The longest a TCP connect to the node may take before the start fails as timed out; well inside
    // the application's own connect watchdog.
    static constexpr std::chrono::seconds connectLimit{8};

    PacketTunnel(Keychain& keychain, Preferences& group, Clock& clock, QObject* parent = nullptr);
    ~PacketTunnel() override;

    const TunnelState& state() const { return state_; }

    // Starts the configuration, replacing whatever ran. Reports connecting at once; the rest follows
    // from the event loop, so the start's reply reaches the application before its outcome does.
    void start(const QUuid& configuration, const TunnelProviderProtocol& protocol);
    // Does nothing unless the tunnel is up or on its way.
    void stop();

    // The reply to a provider message; none for a message the tunnel does not know.
    std::optional<QByteArray> answer(const QByteArray& message) const;

    // Scripts the node at this server address; none removes its script.
    void setScript(const QString& server, std::optional<NodeScript> script);

Q_SIGNALS:
    void stateChanged();

private:
    // What one start aims at, read from its configuration and profile.
    struct Target {
        QString server;
        quint16 port = 0;
        QString transport;
        QString routingMode;
        bool killSwitch = true;
    };

    struct Phase {
        QString name;
        QDateTime since;
    };

    // Throws PlatformError in the tunnel's domain.
    Target readTarget(const TunnelProviderProtocol& protocol) const;
    void proceed(quint64 run);
    void resolved(quint64 run, const QHostInfo& info);
    void reached(quint64 run);
    void fail(qint64 code);
    void finishStop(quint64 run);
    // Ends the work of the current run; its callbacks find a newer run number and do nothing.
    void abandonRun();
    void enter(VpnStatus status, const QString& phase);
    void recordStop(const QString& reason, std::optional<qint64> code);

    Phase currentPhase() const;
    QByteArray phaseReport() const;
    QString routingLine() const;

    Keychain& keychain_;
    Preferences& group_;
    Clock& clock_;
    TunnelState state_;
    TunnelProviderProtocol protocol_;
    std::optional<Target> target_;
    Phase phase_;
    int attempts_ = 0;
    // Wall date and monotonic reading of the moment the node was reached.
    QDateTime connectedAt_;
    Clock::Duration connectedMonotonic_{};
    quint64 run_ = 0;
    int lookup_ = -1;
    QPointer<QTcpSocket> socket_;
    Clock::TimerId pending_ = 0;
    QHash<QString, NodeScript> scripts_;
};

} // namespace tessaron
