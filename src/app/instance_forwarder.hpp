#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QUrl>

#include <optional>

namespace tessaron {

// Keeps one application instance per user. The first process holds a lock and serves a local socket in
// the user's private runtime folder; a process started while it runs hands its URL (or a request to come
// to the front) over the socket and ends.
class InstanceForwarder : public QObject {
    Q_OBJECT
public:
    enum class Role {
        primary,    // this process is the instance and now listens
        handedOver, // the running instance took the request; this process should exit with 0
        failed,     // neither: the socket could not be served or reached
    };

    // `folder` holds the lock and the socket; it must be private to the user.
    explicit InstanceForwarder(QString folder = defaultFolder(), QObject* parent = nullptr);

    // The user's runtime folder: $XDG_RUNTIME_DIR, or a private folder Qt makes in its place.
    static QString defaultFolder();

    // Becomes the instance, or hands `url` to the one that runs. Waits a few seconds at most.
    Role start(const std::optional<QUrl>& url);

Q_SIGNALS:
    void urlOpened(const QUrl& url);
    void raiseRequested();

private:
    bool listen();
    bool handOver(const std::optional<QUrl>& url) const;
    void serve(class QLocalSocket* peer);
    void answer(class QLocalSocket* peer, const QByteArray& line);

    QString socketPath_;
    QLockFile lock_;
    QLocalServer server_;
};

} // namespace tessaron
