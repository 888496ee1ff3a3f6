#pragma once

#include "platform/preferences.hpp"

#include <QList>
#include <QMap>
#include <QStringList>
#include <QUuid>

namespace tessaron {

// Which saved connections each roster source manages, so that they are pulled, refreshed and removed
// with it. Kept in the preferences as JSON data; it never reports errors: unreadable data reads as an
// empty table, and a table that cannot be encoded is not written.
class TessaronManagedProfilesStore {
public:
    static inline const QString storageKey = QStringLiteral("tessaron.managedProfiles");

    explicit TessaronManagedProfilesStore(Preferences& preferences)
        : preferences_(preferences) {}

    // Profile id text to the id texts it manages, as stored.
    QMap<QString, QStringList> loadManagedProfiles() const;
    // In stored order; texts that are no id are skipped.
    QList<QUuid> managedProfileIDs(const QUuid& profileID) const;
    // An empty list is kept as an empty entry.
    void setManagedProfileIDs(const QList<QUuid>& managedIDs, const QUuid& profileID);
    // Writes nothing when the profile has no entry.
    void removeManagedProfiles(const QUuid& profileID);
    // The whole table, as at sign-out.
    void clear();

private:
    void store(const QMap<QString, QStringList>& table);

    Preferences& preferences_;
};

} // namespace tessaron
