#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

namespace tessaron {

// A release as the screens show it: its version and where to get it.
struct TessaronReleaseOffer {
    QString version;
    QUrl url;

    bool operator==(const TessaronReleaseOffer&) const = default;
};

// What the screens read of the update checker: a release this build must be replaced by, a newer one
// on offer, and the user's own check.
class TessaronUpdateState : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual std::optional<TessaronReleaseOffer> required() const = 0;
    virtual std::optional<TessaronReleaseOffer> available() const = 0;
    virtual bool canCheckForUpdates() const = 0;
    // A check the user asked for; the update layer shows its own progress.
    virtual void checkForUpdates() = 0;

Q_SIGNALS:
    void requiredChanged();
    void availableChanged();
    void canCheckForUpdatesChanged(bool canCheck);
};

} // namespace tessaron
