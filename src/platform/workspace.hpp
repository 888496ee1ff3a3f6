#pragma once

#include <QString>
#include <QUrl>

namespace tessaron {

// The desktop around the application: the browser, the file manager and the application's own life.
class Workspace {
public:
    virtual ~Workspace() = default;

    // False when nothing could open it.
    virtual bool openUrl(const QUrl& url) = 0;
    // Shows the file or folder selected in the file manager.
    virtual void revealFile(const QString& path) = 0;
    // Starts the program at `path` as a new process.
    virtual bool launchNewInstance(const QString& path) = 0;
    virtual void quit() = 0;
};

} // namespace tessaron
