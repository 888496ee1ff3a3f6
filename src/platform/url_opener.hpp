#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

namespace tessaron {

// Where the application learns that a web address it handed to the desktop was not opened. Qt starts the
// desktop's opener and forgets it, so a desktop without a browser looks like one that opened the page.
// Installed as the handler of web addresses, the opener runs the desktop's opener program itself and
// reports `failed` when the program gives up (it does at once when nothing takes the address) or cannot
// start. Every QDesktopServices::openUrl of a web address goes through it; a test's own handler replaces it.
class UrlOpener final : public QObject {
    Q_OBJECT
public:
    static UrlOpener& shared();

    // `program` and its leading arguments; the address is added last.
    void installAsWebHandler(QStringList command = {QStringLiteral("xdg-open")});

Q_SIGNALS:
    // Nothing opened `url`. Emitted from the event loop, never inside the openUrl call.
    void failed(const QUrl& url);

public Q_SLOTS:
    void open(const QUrl& url);

private:
    UrlOpener() = default;

    QStringList command_;
};

} // namespace tessaron
