#include "platform/tunnel_channel.hpp"

#include "platform/local_peer.hpp"

#include <QJsonDocument>
#include <QLocalSocket>

namespace tessaron {

TunnelChannel::TunnelChannel(QLocalSocket* socket, QObject* parent)
    : QObject(parent)
    , socket_(socket) {
    socket_->setParent(this);
    socket_->setReadBufferSize(0);
    connect(socket_, &QLocalSocket::readyRead, this, &TunnelChannel::readLines);
    connect(socket_, &QLocalSocket::disconnected, this, &TunnelChannel::finish);
    connect(socket_, &QLocalSocket::errorOccurred, this, [this] {
        if (socket_->state() != QLocalSocket::ConnectedState)
            finish();
    });
}

bool TunnelChannel::isOpen() const {
    return !finished_ && socket_->state() == QLocalSocket::ConnectedState;
}

void TunnelChannel::send(const QJsonObject& message) {
    if (!isOpen())
        return;
    socket_->write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
}

void TunnelChannel::close() {
    socket_->abort();
    finish();
}

std::optional<uid_t> TunnelChannel::peerUser() const {
    const auto credentials = localPeerCredentials(socket_);
    return credentials ? std::optional(credentials->uid) : std::nullopt;
}

std::optional<pid_t> TunnelChannel::peerProcess() const {
    const auto credentials = localPeerCredentials(socket_);
    return credentials ? std::optional(credentials->pid) : std::nullopt;
}

// Reads only what arrived: a read sized for the longest line would take a megabyte buffer per message.
void TunnelChannel::readLines() {
    received_.append(socket_->readAll());
    qsizetype start = 0;
    for (auto end = received_.indexOf('\n'); !finished_ && end >= 0; end = received_.indexOf('\n', start)) {
        const auto line = QByteArrayView(received_).sliced(start, end - start);
        start = end + 1;
        const auto document = QJsonDocument::fromJson(line.toByteArray());
        if (line.size() > maximumLineBytes || !document.isObject()) {
            close();
            return;
        }
        Q_EMIT received(document.object());
    }
    received_.remove(0, start);
    if (!finished_ && received_.size() > maximumLineBytes)
        close();
}

void TunnelChannel::finish() {
    if (std::exchange(finished_, true))
        return;
    Q_EMIT closed();
}

} // namespace tessaron
