#pragma once

#include "app/opened_url_router.hpp"
#include "platform/process_lock.hpp"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QObject>
#include <QUrl>

#include <optional>
#include <string_view>

namespace tessaron {

// One line of the hand-over between a later start and the running instance: "raise", or "open" with the
// encoded URL to open.
struct InstanceRequest {
    std::optional<QUrl> url; // none: come to the front

    static constexpr std::string_view openVerb = "open ";
    static constexpr std::string_view raiseVerb = "raise";
    static constexpr qsizetype longestLine = qsizetype(openVerb.size()) + OpenedUrlRouter::longestUrl;

    // The request a line (without its newline) makes; none, with a log line, for a line that is too long,
    // not understood or names a URL the application does not take.
    static std::optional<InstanceRequest> read(const QByteArray& line);
    // The line that makes this request, newline included.
    QByteArray line() const;
};

// Keeps one application instance per user. The first process holds a lock and serves a local socket in
// the user's private runtime folder; a process started while it runs hands its URL (or a request to come
// to the front) over the socket and ends. An instance stops serving once its application quits, and a
// start that finds the lock held by one that does not serve (quitting, as after a relaunch from another
// folder, or not yet listening) waits a bounded time for the lock.
class InstanceForwarder : public QObject {
    Q_OBJECT
public:
    enum class Role {
        primary,    // this process is the instance and now listens
        handedOver, // the running instance took the request; this process should exit with 0
        failed,     // neither: the folder is not private, or the socket could not be served or reached
    };

    // `folder` holds the lock and the socket; it is created, or refused unless it is the user's alone.
    explicit InstanceForwarder(QString folder = defaultFolder(), QObject* parent = nullptr);
    ~InstanceForwarder() override;

    static QString defaultFolder();

    // Becomes the instance, or hands `url` to the one that runs. Waits some seconds at most.
    Role start(const std::optional<QUrl>& url);

Q_SIGNALS:
    void urlOpened(const QUrl& url);
    void raiseRequested();

private:
    // `refused`: the instance read the request and will not act on it. `unreached`, `unanswered`: it does
    // not serve, or ended the connection without a word, as one that is quitting does.
    enum class HandOver { taken, refused, unreached, unanswered };

    bool listen();
    // One attempt: the request is taken only when the instance acknowledges it.
    HandOver handOver(const InstanceRequest& request, const QDeadlineTimer& deadline) const;
    void serve(class QLocalSocket* peer);
    void receive(class QLocalSocket* peer);
    void answer(class QLocalSocket* peer, const QByteArray& line);

    QString folder_;
    QString socketPath_;
    // Held while this process is the instance.
    ProcessLock lock_;
    QLocalServer server_;
};

} // namespace tessaron
