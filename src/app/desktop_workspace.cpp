#include "app/desktop_workspace.hpp"

#include "platform/system_log.hpp"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>

namespace tessaron {

bool DesktopWorkspace::openUrl(const QUrl& url) {
    // The system settings of another platform have no counterpart here.
    if (url.scheme() == QStringLiteral("x-apple.systempreferences")) {
        SystemLog(QStringLiteral("workspace")).info(QStringLiteral("no settings pane for ") + url.toString());
        return false;
    }
    return QDesktopServices::openUrl(url);
}

void DesktopWorkspace::revealFile(const QString& path) {
    auto call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const auto reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
    if (reply.type() == QDBusMessage::ErrorMessage)
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

bool DesktopWorkspace::launchNewInstance(const QString& path) {
    return QProcess::startDetached(path, {});
}

void DesktopWorkspace::quit() {
    QCoreApplication::quit();
}

} // namespace tessaron
