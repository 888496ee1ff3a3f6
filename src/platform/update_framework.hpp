#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

namespace tessaron {

// A newer release that an update check found.
struct FoundUpdate {
    QString version;
    // Where the user gets it.
    QUrl downloadPage;
};

// Decides, for a found update, whether it is installed at once rather than left for later.
class UpdateFrameworkDelegate {
public:
    virtual ~UpdateFrameworkDelegate() = default;
    // `installNow` installs the update immediately. True when the delegate ran it.
    virtual bool willInstallUpdateOnQuit(const FoundUpdate& update,
                                         const std::function<void()>& installNow) = 0;
};

// Finds updates for this program and installs them. Checks run on the main thread; the checker drives
// their schedule.
class UpdateFramework : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
public:
    using QObject::QObject;

    virtual void start() = 0;
    // A check nobody asked for: a find is only reported to the delegate.
    virtual void checkForUpdatesInBackground() = 0;
    // The user's check: its outcome is shown.
    virtual void checkForUpdates() = 0;
    // False while a check runs.
    virtual bool canCheckForUpdates() const = 0;

    void setDelegate(UpdateFrameworkDelegate* delegate) { delegate_ = delegate; }

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);

protected:
    UpdateFrameworkDelegate* delegate() const { return delegate_; }

private:
    UpdateFrameworkDelegate* delegate_ = nullptr;
};

} // namespace tessaron
