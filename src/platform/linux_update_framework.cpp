#include "platform/linux_update_framework.hpp"

#include <QPointer>

namespace tessaron {

LinuxUpdateFramework::LinuxUpdateFramework(Finder finder, UpdateDialogs& dialogs, Opener opener,
                                           QObject* parent)
    : UpdateFramework(parent)
    , finder_(std::move(finder))
    , dialogs_(dialogs)
    , opener_(std::move(opener)) {}

QCoro::Task<> LinuxUpdateFramework::check(bool userInitiated) {
    if (checking_)
        co_return;
    setChecking(true);
    QPointer self(this);
    const Outcome outcome = co_await finder_(userInitiated);
    if (!self)
        co_return;
    setChecking(false);
    using Kind = Outcome::Kind;
    if (outcome.kind == Kind::found)
        present(outcome.update, userInitiated);
    else if (userInitiated && outcome.kind == Kind::upToDate)
        dialogs_.showUpToDate();
    else if (userInitiated)
        dialogs_.showCheckFailed();
}

void LinuxUpdateFramework::present(const FoundUpdate& update, bool userInitiated) {
    const auto openPage = [this, update] {
        opener_(update.downloadPage);
    };
    const auto installNow = [&] {
        if (userInitiated || !openedInBackground_.contains(update.version))
            openPage();
        if (!userInitiated)
            openedInBackground_.insert(update.version);
    };
    const bool installed = delegate() && delegate()->willInstallUpdateOnQuit(update, installNow);
    if (!installed && userInitiated)
        dialogs_.showFound(update, openPage);
}

void LinuxUpdateFramework::setChecking(bool checking) {
    if (checking_ == checking)
        return;
    checking_ = checking;
    Q_EMIT canCheckForUpdatesChanged(!checking);
}

} // namespace tessaron
