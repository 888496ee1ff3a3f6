#pragma once

#include "platform/workspace.hpp"

#include <QStringList>
#include <QUrl>

namespace tessaron::testing {

// Records what the application asked of the desktop.
class FakeWorkspace final : public Workspace {
public:
    bool openUrl(const QUrl& url) override {
        opened.append(url);
        return !refused.contains(url);
    }
    void revealFile(const QString& path) override { revealed.append(path); }
    bool launchNewInstance(const QString& path) override {
        launched.append(path);
        return launchSucceeds;
    }
    void quit() override { ++quits; }

    QList<QUrl> opened;
    // Recorded, then answered as not opened.
    QList<QUrl> refused;
    QStringList revealed;
    QStringList launched;
    bool launchSucceeds = true;
    int quits = 0;
};

} // namespace tessaron::testing
