#include "app/checker_update_state.hpp"

#include "updates/update_checker.hpp"

namespace tessaron {

namespace {

std::optional<TessaronReleaseOffer> offer(const OptionalRelease& release, const QUrl& url) {
    if (!release)
        return std::nullopt;
    return TessaronReleaseOffer{release->version, url};
}

} // namespace

CheckerUpdateState::CheckerUpdateState(TessaronUpdateChecker& checker, QObject* parent)
    : TessaronUpdateState(parent)
    , checker_(checker) {
    connect(&checker_, &TessaronUpdateChecker::requiredChanged, this, &TessaronUpdateState::requiredChanged);
    connect(&checker_, &TessaronUpdateChecker::availableChanged, this,
            &TessaronUpdateState::availableChanged);
    connect(&checker_.updaterController(), &UpdateFramework::canCheckForUpdatesChanged, this,
            &TessaronUpdateState::canCheckForUpdatesChanged);
}

std::optional<TessaronReleaseOffer> CheckerUpdateState::required() const {
    return offer(checker_.required(), checker_.downloadPage());
}

std::optional<TessaronReleaseOffer> CheckerUpdateState::available() const {
    const auto& release = checker_.available();
    return offer(release, release ? release->url : QUrl());
}

bool CheckerUpdateState::canCheckForUpdates() const {
    return checker_.updaterController().canCheckForUpdates();
}

void CheckerUpdateState::checkForUpdates() {
    checker_.updaterController().checkForUpdates();
}

} // namespace tessaron
