#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

namespace tessaron::testing {

// Takes the desktop's URL opening for a scheme while it lives, and records what was opened.
class OpenedUrls final : public QObject {
    Q_OBJECT
public:
    explicit OpenedUrls(const QString& scheme);
    ~OpenedUrls() override;

    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl& url) { urls.append(url); }

private:
    QString scheme_;
};

} // namespace tessaron::testing
