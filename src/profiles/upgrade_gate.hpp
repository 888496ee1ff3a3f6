#pragma once

#include "platform/preferences.hpp"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QUrl>

#include <functional>
#include <optional>

namespace tessaron {

// What the services demand before they answer this client again.
struct TessaronUpgradeRequirement {
    qint64 minimumBuild = 0;
    // May be empty: the services sometimes name only a build.
    QString minimumVersion;
    std::optional<QUrl> page;

    bool operator==(const TessaronUpgradeRequirement&) const = default;

    QJsonObject toJson() const;
    // Strict: every key must have its type; none when the object is not a requirement.
    static std::optional<TessaronUpgradeRequirement> fromJson(const QJsonObject& object);
    // Lenient reading of a 426 reply body: none unless it is a JSON object whose "error" is
    // "upgrade_required"; a missing or mistyped field takes its empty value.
    static std::optional<TessaronUpgradeRequirement> fromUpgradeReply(const QByteArray& body);
};

using OptionalUpgradeRequirement = std::optional<TessaronUpgradeRequirement>;

// Watches service replies for the services' verdict on this client's version: a 426 reply records a
// requirement, any success lifts it. The requirement survives a restart. Lives on the main thread.
class TessaronServerUpgradeGate final : public QObject {
    Q_OBJECT
    Q_PROPERTY(tessaron::OptionalUpgradeRequirement requirement READ requirement NOTIFY requirementChanged)
public:
    static inline const QString storageKey = QStringLiteral("tessaron.upgrade.required");
    static constexpr int upgradeRequiredStatus = 426;

    // Restores a stored requirement; a stored value that does not decode is ignored and left in place.
    explicit TessaronServerUpgradeGate(Preferences& preferences, QObject* parent = nullptr);

    // The process's gate over the standard preferences, created on first use (from any thread) and owned
    // by the main thread.
    static TessaronServerUpgradeGate& shared();

    const OptionalUpgradeRequirement& requirement() const { return requirement_; }

    // Calls `receiver` with the current requirement at once, then with every new one while `context`
    // lives. The connection ends the subscription early.
    QMetaObject::Connection subscribe(const QObject* context,
                                      std::function<void(const OptionalUpgradeRequirement&)> receiver);

    // Main thread only: drops the requirement and its stored copy.
    void clear();
    // Main thread only. Never fails.
    void observe(int status, const std::optional<QByteArray>& body);
    // Any thread: observes at once on the gate's thread, otherwise queues the observation there.
    void report(int status, std::optional<QByteArray> body);

Q_SIGNALS:
    void requirementChanged(const tessaron::OptionalUpgradeRequirement& requirement);

private:
    void setRequirement(OptionalUpgradeRequirement requirement);

    Preferences& preferences_;
    OptionalUpgradeRequirement requirement_;
};

} // namespace tessaron
