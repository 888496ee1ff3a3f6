#include "app/application_session.hpp"

#include <QGuiApplication>

namespace tessaron {

ApplicationSession::ApplicationSession()
    : services_(SessionSurroundings::standard(), signIn_)
    , activator_(services_.services().activator)
    , session_(services_.services())
    , router_(webSignIn_, [session = &session_](const QUrl& url) { session->openInvitationLink(url); }) {}

void ApplicationSession::start() {
    followApplicationState();
}

void ApplicationSession::followApplicationState() {
    QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, &session_,
                     [session = &session_](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive)
                             session->applicationBecameActive(true);
                         else
                             session->applicationResignedActive();
                     });
    // The launch has finished: the session learns whether the application is in front yet.
    session_.applicationBecameActive(QGuiApplication::applicationState() == Qt::ApplicationActive);
}

} // namespace tessaron
