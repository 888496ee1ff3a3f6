#pragma once

#include <QDesktopServices>
#include <QObject>
#include <QUrl>

#include <functional>

namespace tessaron::testing {

// Takes the place of the user's browser for https pages while it exists: records each page it is asked
// to open and then runs `onOpen`.
class FakeBrowser : public QObject {
    Q_OBJECT
public:
    explicit FakeBrowser(std::function<void()> onOpen = {})
        : onOpen_(std::move(onOpen)) {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
    }
    ~FakeBrowser() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }

    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) {
        opened.append(url);
        if (onOpen_)
            onOpen_();
    }

private:
    std::function<void()> onOpen_;
};

} // namespace tessaron::testing
