#pragma once

#include "platform/clock.hpp"
#include "platform/process_lock.hpp"

#include <QList>
#include <QLocalServer>
#include <QObject>

#include <chrono>

namespace tessaron {

class PacketTunnel;
class TunnelChannel;

// Serves the tunnel to the applications of this user over a local socket: it pushes the tunnel's state
// to every one of them and carries out their requests (see tunnel_message). Connections of other users
// are closed at once.
//
// With no application attached and no link up for the idle limit, it reports itself idle: nothing
// needs the tunnel any more, and the next start launches it again.
class TunnelServer : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds idleLimit{30};

    TunnelServer(PacketTunnel& tunnel, Clock& clock, QObject* parent = nullptr);
    ~TunnelServer() override;

    enum class Listening { serving, servedAlready, refused };

    // Serves `socketName` unless another tunnel does. The socket's folder must be this user's alone
    // (see claimPrivateFolder); a refusal is logged with its reason.
    Listening listen(const QString& socketName);

Q_SIGNALS:
    void idle();

private:
    void accept();
    void handle(TunnelChannel* channel, const QJsonObject& request);
    QJsonObject carryOut(const QJsonObject& request);
    void broadcast();
    void reviewIdleness();

    PacketTunnel& tunnel_;
    Clock& clock_;
    QLocalServer server_;
    ProcessLock lock_;
    QList<TunnelChannel*> channels_;
    Clock::TimerId idleTimer_ = 0;
};

} // namespace tessaron
