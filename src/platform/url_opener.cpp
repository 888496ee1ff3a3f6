#include "platform/url_opener.hpp"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QProcess>

namespace tessaron {

UrlOpener& UrlOpener::shared() {
    static UrlOpener opener;
    return opener;
}

void UrlOpener::installAsWebHandler(QStringList command) {
    command_ = std::move(command);
    for (const auto* scheme : {"http", "https"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    // An opener may run as long as the browser it started; quitting must neither kill it (with the
    // browser) nor wait for it, so the openers still running are let go.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        for (auto* running : findChildren<QProcess*>())
            running->setParent(nullptr);
    });
}

void UrlOpener::open(const QUrl& url) {
    auto* process = new QProcess(this);
    process->setProgram(command_.value(0));
    process->setArguments(command_.mid(1) << url.toString(QUrl::FullyEncoded));
    // The opener's words are for a terminal; the person reads the application's own.
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    connect(process, &QProcess::finished, this, [this, process, url](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0)
            Q_EMIT failed(url);
        process->deleteLater();
    });
    connect(process, &QProcess::errorOccurred, this, [this, process, url](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        // Reported from the event loop, as a late failure is: the caller has set up what it shows.
        QMetaObject::invokeMethod(
            this, [this, url] { Q_EMIT failed(url); }, Qt::QueuedConnection);
        process->deleteLater();
    });
    process->start();
}

} // namespace tessaron
