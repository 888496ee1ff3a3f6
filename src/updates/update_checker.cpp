#include "updates/update_checker.hpp"

#include "updates/crash_report.hpp"

#include <QPointer>

#include <utility>

namespace tessaron {

bool TessaronUpdateDelegate::willInstallUpdateOnQuit(const FoundUpdate&,
                                                     const std::function<void()>& installNow) {
    if (!isRequired())
        return false;
    installNow();
    return true;
}

TessaronUpdateChecker::TessaronUpdateChecker(UpdateCheckerServices services, QObject* parent)
    : QObject(parent)
    , services_(std::move(services)) {
    services_.framework.setDelegate(&delegate_);
    services_.framework.start();
    delegate_.isRequired = isRequiredNow();
    resolvedRelease_ =
        TessaronReleaseInfo::applyFloor(installedVersion(), std::nullopt, services_.defaults, downloadPage());
    bool current = true;
    services_.gate.subscribe(this, [this, current](const OptionalUpgradeRequirement& requirement) mutable {
        serverRequirement_ = requirement;
        // The current value is read here; only later ones re-derive.
        if (!std::exchange(current, false))
            recompute();
    });
    recompute();
}

void TessaronUpdateChecker::start() {
    if (std::exchange(started_, true))
        return;
    loop_.start([self = QPointer(this)](CancellationToken token) -> QCoro::Task<> {
        return self->runLoop(std::move(token));
    });
}

std::function<bool()> TessaronUpdateChecker::isRequiredNow() {
    return [self = QPointer(this)] {
        return self && self->required_.has_value();
    };
}

QString TessaronUpdateChecker::installedVersion() const {
    return tessaron::installedVersion(services_.bundle);
}

Clock::Duration TessaronUpdateChecker::pollInterval(const BundleInfo& bundle) {
    const auto value = bundle.value(QStringLiteral("SUScheduledCheckInterval"));
    const auto type = value.typeId();
    const bool isNumber = type == QMetaType::Double || type == QMetaType::Int ||
                          type == QMetaType::LongLong || type == QMetaType::UInt ||
                          type == QMetaType::ULongLong;
    if (!isNumber || value.toDouble() < 60)
        return defaultPollInterval;
    return std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(value.toDouble()));
}

QCoro::Task<> TessaronUpdateChecker::runLoop(CancellationToken cancellation) {
    QPointer self(this);
    co_await refresh(cancellation);
    while (self && !cancellation.isCancelled()) {
        co_await services_.clock.sleep(pollInterval(services_.bundle), cancellation);
        if (!self || cancellation.isCancelled())
            co_return;
        co_await refresh(cancellation);
    }
}

QCoro::Task<OptionalRelease> TessaronUpdateChecker::refresh(CancellationToken cancellation) {
    QPointer self(this);
    lastFetchAt_ = services_.clock.now();
    const auto fetched = co_await services_.feed.fetchLatest(cancellation);
    if (!self || cancellation.isCancelled())
        co_return std::nullopt;
    if (fetched)
        latestFetched_ = fetched;
    resolvedRelease_ =
        TessaronReleaseInfo::applyFloor(installedVersion(), fetched, services_.defaults, downloadPage());
    recompute();
    co_return fetched;
}

QCoro::Task<LinuxUpdateFramework::Outcome> TessaronUpdateChecker::findUpdate(bool userInitiated) {
    using Outcome = LinuxUpdateFramework::Outcome;
    QPointer self(this);
    OptionalRelease latest = latestFetched_ ? latestFetched_ : resolvedRelease_;
    if (userInitiated) {
        const auto fetched = co_await refresh();
        latest = fetched;
    }
    if (!self || !latest)
        co_return Outcome::failed();
    if (!compareVersions(installedVersion(), latest->version))
        co_return Outcome::upToDate();
    co_return Outcome::found({latest->version, downloadPage()});
}

void TessaronUpdateChecker::didBecomeActive() {
    const auto now = services_.clock.now();
    if (!started_ ||
        (lastFetchAt_ && lastFetchAt_->msecsTo(now) < std::chrono::milliseconds(refetchOnActivation).count()))
        return;
    refresh();
}

bool TessaronUpdateChecker::isMet(const TessaronUpgradeRequirement& requirement) const {
    if (requirement.minimumBuild > 0) {
        const auto build = bundleBuild(services_.bundle);
        return build && *build >= requirement.minimumBuild;
    }
    if (isValidVersion(requirement.minimumVersion))
        return !compareVersions(installedVersion(), requirement.minimumVersion);
    return false;
}

void TessaronUpdateChecker::recompute() {
    if (serverRequirement_ && isMet(*serverRequirement_)) {
        // A requirement this build already meets would block it for nothing; it is dropped for good.
        serverRequirement_.reset();
        services_.gate.clear();
    }
    setRequired(serverRequirement_ ? std::optional(TessaronReleaseInfo::releaseFromRequirement(
                                         *serverRequirement_, downloadPage()))
                                   : resolvedRelease_);
    const bool newer = latestFetched_ && compareVersions(installedVersion(), latestFetched_->version);
    setAvailable(!required_ && newer ? latestFetched_ : std::nullopt);
}

void TessaronUpdateChecker::setRequired(const OptionalRelease& release) {
    const bool wasRequired = required_.has_value();
    if (release != required_) {
        required_ = release;
        Q_EMIT requiredChanged(required_);
    }
    if (!required_)
        return;
    const auto now = services_.clock.now();
    const bool due =
        !wasRequired || !lastForcedCheckAt_ ||
        lastForcedCheckAt_->msecsTo(now) >= std::chrono::milliseconds(forcedCheckSpacing).count();
    if (!due)
        return;
    lastForcedCheckAt_ = services_.clock.now();
    services_.framework.checkForUpdatesInBackground();
}

void TessaronUpdateChecker::setAvailable(const OptionalRelease& release) {
    if (release == available_)
        return;
    available_ = release;
    Q_EMIT availableChanged(available_);
}

} // namespace tessaron
