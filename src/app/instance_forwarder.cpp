#include "app/instance_forwarder.hpp"

#include "platform/system_log.hpp"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

namespace tessaron {

namespace {

using namespace std::chrono_literals;

// A request is one line: "open <encoded URL>" or "raise"; the instance answers "ok".
const QByteArray openVerb = QByteArrayLiteral("open ");
const QByteArray raiseVerb = QByteArrayLiteral("raise");
const QByteArray acknowledgement = QByteArrayLiteral("ok\n");
constexpr qint64 longestRequest = 64 * 1024;
// The instance may hold the lock a moment before it listens, or be busy starting up.
constexpr auto handOverPatience = 5s;
constexpr auto peerPatience = 5s;

const SystemLog& log() {
    static const SystemLog log(QStringLiteral("instance"));
    return log;
}

} // namespace

InstanceForwarder::InstanceForwarder(QString folder, QObject* parent)
    : QObject(parent)
    , socketPath_(folder + QStringLiteral("/tessaron-app.socket"))
    , lock_(folder + QStringLiteral("/tessaron-app.lock")) {
    // Only a lock whose process is gone is stale, however old it is.
    lock_.setStaleLockTime(0);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection())
            serve(peer);
    });
}

QString InstanceForwarder::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

InstanceForwarder::Role InstanceForwarder::start(const std::optional<QUrl>& url) {
    if (lock_.tryLock(0))
        return listen() ? Role::primary : Role::failed;
    if (lock_.error() != QLockFile::LockFailedError) {
        log().error(QStringLiteral("instance lock unavailable %1").arg(lock_.error()));
        return Role::failed;
    }
    return handOver(url) ? Role::handedOver : Role::failed;
}

bool InstanceForwarder::listen() {
    // Holding the lock, any socket file left behind is a crashed instance's.
    QLocalServer::removeServer(socketPath_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (server_.listen(socketPath_))
        return true;
    log().error(QStringLiteral("instance socket not served %1").arg(server_.serverError()));
    return false;
}

bool InstanceForwarder::handOver(const std::optional<QUrl>& url) const {
    const QByteArray request = (url ? openVerb + url->toEncoded() : raiseVerb) + '\n';
    const QDeadlineTimer deadline(handOverPatience);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath_);
        if (!socket.waitForConnected(int(deadline.remainingTime()))) {
            QThread::msleep(50);
            continue;
        }
        socket.write(request);
        while (socket.bytesAvailable() < acknowledgement.size() &&
               socket.waitForReadyRead(int(deadline.remainingTime()))) {
        }
        return socket.read(acknowledgement.size()) == acknowledgement;
    }
    log().error(QStringLiteral("running instance not reached"));
    return false;
}

void InstanceForwarder::serve(QLocalSocket* peer) {
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    // A peer that never finishes its line does not keep the connection.
    QTimer::singleShot(peerPatience, peer, &QLocalSocket::abort);
    connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
        if (peer->canReadLine()) {
            answer(peer, peer->readLine(longestRequest).trimmed());
        } else if (peer->bytesAvailable() > longestRequest) {
            log().error(QStringLiteral("instance request too long"));
            peer->abort();
        }
    });
}

void InstanceForwarder::answer(QLocalSocket* peer, const QByteArray& line) {
    // Sent before acting on the request, which may keep this thread busy: the sender waits for it.
    peer->write(acknowledgement);
    peer->flush();
    peer->disconnectFromServer();
    if (line == raiseVerb) {
        Q_EMIT raiseRequested();
        return;
    }
    const QUrl url =
        line.startsWith(openVerb) ? QUrl::fromEncoded(line.mid(openVerb.size()), QUrl::StrictMode) : QUrl();
    if (!url.isValid() || url.isRelative()) {
        log().error(QStringLiteral("instance request not understood"));
        return;
    }
    Q_EMIT urlOpened(url);
}

} // namespace tessaron
