#pragma once

#include "platform/workspace.hpp"

namespace tessaron {

// The workspace of a Linux desktop: the default browser, the file manager over D-Bus and QProcess.
class DesktopWorkspace final : public Workspace {
public:
    bool openUrl(const QUrl& url) override;
    void revealFile(const QString& path) override;
    bool launchNewInstance(const QString& path) override;
    void quit() override;
};

} // namespace tessaron
