#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>

#include <optional>

#include <sys/types.h>

class QLocalSocket;

namespace tessaron {

// One end of the link between the application and the tunnel: JSON objects, one per line, over a local
// socket. A peer that sends anything else, or a line longer than the limit, is disconnected.
class TunnelChannel : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype maximumLineBytes = 1 << 20;

    // Takes the socket over.
    explicit TunnelChannel(QLocalSocket* socket, QObject* parent = nullptr);

    QLocalSocket* socket() const { return socket_; }
    bool isOpen() const;

    void send(const QJsonObject& message);
    void close();

    // The process at the other end, as the kernel tells it; none when it cannot be told.
    std::optional<uid_t> peerUser() const;
    std::optional<pid_t> peerProcess() const;

Q_SIGNALS:
    void received(const QJsonObject& message);
    // Once, when the link ends from either side.
    void closed();

private:
    void readLines();
    void finish();

    QLocalSocket* socket_;
    // Bytes read that do not yet end a line.
    QByteArray received_;
    bool finished_ = false;
};

} // namespace tessaron
