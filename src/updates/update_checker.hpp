#pragma once

#include "platform/bundle_info.hpp"
#include "platform/clock.hpp"
#include "platform/linux_update_framework.hpp"
#include "platform/preferences.hpp"
#include "platform/task_slot.hpp"
#include "platform/update_framework.hpp"
#include "profiles/upgrade_gate.hpp"
#include "updates/release_feed.hpp"
#include "updates/release_info.hpp"

#include <QDateTime>
#include <QObject>

#include <functional>
#include <optional>

namespace tessaron {

using OptionalRelease = std::optional<TessaronReleaseInfo>;

// Installs a found update at once while one is required; otherwise leaves it to the framework.
class TessaronUpdateDelegate final : public UpdateFrameworkDelegate {
public:
    std::function<bool()> isRequired = [] {
        return false;
    };

    bool willInstallUpdateOnQuit(const FoundUpdate& update, const std::function<void()>& installNow) override;
};

struct UpdateCheckerServices {
    Clock& clock;
    // Keeps the update floor.
    Preferences& defaults;
    const ReleaseFeed& feed;
    TessaronServerUpgradeGate& gate;
    UpdateFramework& framework;
    // The installed version and build, the poll interval and the download page.
    BundleInfo bundle;
};

// Keeps the application current and enforces minimum versions. From the release feed (with the floor it
// last set) and the server's upgrade requirement it publishes `required`, the release that must be
// installed, and forces background checks of the update framework while one is; `available` is a newer
// release the feed names while none is required. Lives on the main thread.
class TessaronUpdateChecker final : public QObject {
    Q_OBJECT
    Q_PROPERTY(tessaron::OptionalRelease available READ available NOTIFY availableChanged)
    Q_PROPERTY(tessaron::OptionalRelease required READ required NOTIFY requiredChanged)
public:
    static constexpr std::chrono::seconds defaultPollInterval{21'600};
    static constexpr std::chrono::seconds refetchOnActivation{600};
    static constexpr std::chrono::seconds forcedCheckSpacing{600};

    explicit TessaronUpdateChecker(UpdateCheckerServices services, QObject* parent = nullptr);

    // Checks at once and then every poll interval; until then nothing is fetched, so an application
    // starts it once its first picture is on screen. Later calls do nothing.
    void start();

    const OptionalRelease& available() const { return available_; }
    const OptionalRelease& required() const { return required_; }
    UpdateFramework& updaterController() const { return services_.framework; }
    QString installedVersion() const;
    // The product's download page.
    QUrl downloadPage() const { return services_.bundle.locations().downloadPage; }

    // "SUScheduledCheckInterval" when it is a number of at least 60 seconds, else six hours.
    static Clock::Duration pollInterval(const BundleInfo& bundle);

    // Fetches the feed and derives `required` anew; a cancelled refresh applies nothing. Gives the fetched
    // release, before the floor rule.
    QCoro::Task<OptionalRelease> refresh(CancellationToken cancellation = {});
    // What the update framework's checks find, from the same feed. A user's check is a refresh, so what it
    // finds shows at once, a required release included. A background check is one the checker forces
    // right after a fetch or at construction: it answers from the latest fetch (or the floor) instead of
    // asking the feed again.
    QCoro::Task<LinuxUpdateFramework::Outcome> findUpdate(bool userInitiated);
    // The application came to the front: refetches when the latest refresh began 600 s ago or more.
    void didBecomeActive();

Q_SIGNALS:
    void availableChanged(const tessaron::OptionalRelease& available);
    void requiredChanged(const tessaron::OptionalRelease& required);

private:
    // Holds the checker weakly: false once it is gone.
    std::function<bool()> isRequiredNow();
    QCoro::Task<> runLoop(CancellationToken cancellation);
    void recompute();
    void setRequired(const OptionalRelease& release);
    void setAvailable(const OptionalRelease& release);
    // A requirement the installed build already meets; one that names neither build nor version never is.
    bool isMet(const TessaronUpgradeRequirement& requirement) const;

    UpdateCheckerServices services_;
    TessaronUpdateDelegate delegate_;
    std::optional<QDateTime> lastForcedCheckAt_;
    OptionalRelease available_;
    OptionalRelease required_;
    std::optional<QDateTime> lastFetchAt_;
    OptionalRelease resolvedRelease_;
    // The last release the feed named; kept while the feed cannot be reached.
    OptionalRelease latestFetched_;
    OptionalUpgradeRequirement serverRequirement_;
    bool started_ = false;
    TaskSlot loop_;
};

} // namespace tessaron
