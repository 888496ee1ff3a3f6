#include "app/instance_forwarder.hpp"

#include "platform/local_peer.hpp"
#include "platform/private_files.hpp"
#include "platform/system_log.hpp"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace tessaron {

namespace {

using namespace std::chrono_literals;

const QByteArray acknowledgement = QByteArrayLiteral("ok\n");
const QByteArray refusal = QByteArrayLiteral("no\n");
// The instance may hold the lock a moment before it listens, be busy starting up, or be ending: an
// application that relaunched itself holds the lock until its teardown is over.
constexpr auto startPatience = 15s;
// How long one attempt waits to be let in; an instance that does not serve refuses at once.
constexpr auto connectPatience = 1s;
constexpr auto peerPatience = 5s;

const SystemLog& log() {
    static const SystemLog log(QStringLiteral("instance"));
    return log;
}

QByteArray bytesOf(std::string_view text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

} // namespace

std::optional<InstanceRequest> InstanceRequest::read(const QByteArray& line) {
    if (line.size() > longestLine) {
        log().error(QStringLiteral("instance request too long"));
        return std::nullopt;
    }
    if (line == bytesOf(raiseVerb))
        return InstanceRequest{};
    if (!line.startsWith(bytesOf(openVerb))) {
        log().error(QStringLiteral("instance request not understood"));
        return std::nullopt;
    }
    const QUrl url = QUrl::fromEncoded(line.mid(qsizetype(openVerb.size())), QUrl::StrictMode);
    if (!OpenedUrlRouter::takes(url)) {
        log().error(QStringLiteral("opened URL dropped: only https and tessaron: URLs are opened"));
        return std::nullopt;
    }
    return InstanceRequest{url};
}

QByteArray InstanceRequest::line() const {
    return (url ? bytesOf(openVerb) + url->toEncoded() : bytesOf(raiseVerb)) + '\n';
}

InstanceForwarder::InstanceForwarder(QString folder, QObject* parent)
    : QObject(parent)
    , folder_(std::move(folder))
    , socketPath_(folder_ + QStringLiteral("/tessaron-app.socket")) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection())
            serve(peer);
    });
}

InstanceForwarder::~InstanceForwarder() {
    server_.close();
}

QString InstanceForwarder::defaultFolder() {
    return userRuntimeFolder();
}

InstanceForwarder::Role InstanceForwarder::start(const std::optional<QUrl>& url) {
    // Whoever else can write to the folder could take the lock or the socket's name first.
    if (const auto problem = claimPrivateFolder(folder_)) {
        log().error(QStringLiteral("instance folder refused: %1").arg(*problem));
        return Role::failed;
    }
    const QDeadlineTimer deadline(startPatience);
    auto last = HandOver::unreached;
    for (;;) {
        switch (lock_.take(folder_ + QStringLiteral("/tessaron-app.lock"))) {
        case ProcessLock::Outcome::taken:
            return listen() ? Role::primary : Role::failed;
        case ProcessLock::Outcome::failed:
            return Role::failed;
        case ProcessLock::Outcome::heldElsewhere:
            break;
        }
        last = handOver(InstanceRequest{url}, deadline);
        if (last == HandOver::taken)
            return Role::handedOver;
        if (last == HandOver::refused) {
            log().error(QStringLiteral("running instance refused the request"));
            return Role::failed;
        }
        if (deadline.hasExpired())
            break;
        QThread::msleep(50);
    }
    log().error(last == HandOver::unanswered ? QStringLiteral("running instance did not take the request")
                                             : QStringLiteral("running instance not reached"));
    return Role::failed;
}

bool InstanceForwarder::listen() {
    // Holding the lock, any socket file left behind is a crashed instance's.
    QLocalServer::removeServer(socketPath_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(socketPath_)) {
        log().error(QStringLiteral("instance socket not served %1").arg(server_.serverError()));
        return false;
    }
    // A request acknowledged after the event loop ended would never be acted on. With the socket closed,
    // the sender waits for the lock instead and becomes the instance itself.
    if (const auto* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, &server_, &QLocalServer::close);
    return true;
}

InstanceForwarder::HandOver InstanceForwarder::handOver(const InstanceRequest& request,
                                                        const QDeadlineTimer& deadline) const {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    const auto connectWait =
        std::min(deadline.remainingTimeAsDuration(), std::chrono::nanoseconds(connectPatience));
    if (!socket.waitForConnected(
            int(std::chrono::duration_cast<std::chrono::milliseconds>(connectWait).count())))
        return HandOver::unreached;
    socket.write(request.line());
    while (socket.bytesAvailable() < acknowledgement.size() &&
           socket.waitForReadyRead(int(deadline.remainingTime()))) {
    }
    const QByteArray answer = socket.read(acknowledgement.size());
    return answer == acknowledgement ? HandOver::taken
           : answer == refusal       ? HandOver::refused
                                     : HandOver::unanswered;
}

void InstanceForwarder::serve(QLocalSocket* peer) {
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    if (const auto credentials = localPeerCredentials(peer); !credentials || credentials->uid != ::getuid()) {
        log().error(QStringLiteral("instance request from another user refused"));
        peer->abort();
        peer->deleteLater();
        return;
    }
    // A peer that never finishes its line does not keep the connection, nor more than a line's memory.
    QTimer::singleShot(peerPatience, peer, &QLocalSocket::abort);
    peer->setReadBufferSize(InstanceRequest::longestLine + 1);
    connect(peer, &QLocalSocket::readyRead, peer, [this, peer] { receive(peer); });
}

void InstanceForwarder::receive(QLocalSocket* peer) {
    if (peer->canReadLine())
        answer(peer, peer->readLine().chopped(1));
    else if (peer->bytesAvailable() > InstanceRequest::longestLine)
        answer(peer, peer->read(InstanceRequest::longestLine + 1));
}

void InstanceForwarder::answer(QLocalSocket* peer, const QByteArray& line) {
    // One request per connection.
    disconnect(peer, &QLocalSocket::readyRead, peer, nullptr);
    const auto request = InstanceRequest::read(line);
    // Sent before acting on the request, which may keep this thread busy: the sender waits for it.
    peer->write(request ? acknowledgement : refusal);
    peer->flush();
    peer->disconnectFromServer();
    if (!request)
        return;
    if (request->url)
        Q_EMIT urlOpened(*request->url);
    else
        Q_EMIT raiseRequested();
}

} // namespace tessaron
