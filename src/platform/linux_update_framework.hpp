#pragma once

#include "platform/update_framework.hpp"

#include <QSet>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

namespace tessaron {

// How the user hears about a check they asked for.
class UpdateDialogs {
public:
    virtual ~UpdateDialogs() = default;
    // "Download" runs `download`; "Later" does nothing.
    virtual void showFound(const FoundUpdate& update, std::function<void()> download) = 0;
    virtual void showUpToDate() = 0;
    virtual void showCheckFailed() = 0;
};

// The update framework on Linux. It finds a newer release through the release feed but cannot download,
// verify or replace the program (packages or the user install it, with rights a running client should not
// hold): installing means opening the download page.
//
// A found update goes to the delegate first. One it installs at once (a required update) opens the page;
// from background checks only once per release and run, so repeated forced checks open no more tabs.
// Otherwise a user check offers the page in a dialog and a background find is only reported.
class LinuxUpdateFramework final : public UpdateFramework {
    Q_OBJECT
public:
    struct Outcome {
        enum class Kind { found, upToDate, failed };
        Kind kind = Kind::failed;
        // With `found`, the newer release.
        FoundUpdate update{};

        static Outcome found(FoundUpdate update) { return {Kind::found, std::move(update)}; }
        static Outcome upToDate() { return {Kind::upToDate, {}}; }
        static Outcome failed() { return {Kind::failed, {}}; }
    };
    // Told whether the user asked for the check.
    using Finder = std::function<QCoro::Task<Outcome>(bool userInitiated)>;
    using Opener = std::function<void(const QUrl&)>;

    LinuxUpdateFramework(Finder finder, UpdateDialogs& dialogs, Opener opener, QObject* parent = nullptr);

    void start() override {}
    void checkForUpdatesInBackground() override { check(false); }
    void checkForUpdates() override { check(true); }
    bool canCheckForUpdates() const override { return !checking_; }

private:
    // A check while one runs is dropped.
    QCoro::Task<> check(bool userInitiated);
    void setChecking(bool checking);
    void present(const FoundUpdate& update, bool userInitiated);

    Finder finder_;
    UpdateDialogs& dialogs_;
    Opener opener_;
    bool checking_ = false;
    // Releases whose page a background check already opened in this run.
    QSet<QString> openedInBackground_;
};

} // namespace tessaron
