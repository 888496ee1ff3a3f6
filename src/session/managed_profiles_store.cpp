#include "session/managed_profiles_store.hpp"

#include "profiles/json_values.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tessaron {

namespace {

// A table of text to lists of text; any other shape, even in one entry, makes the whole table unreadable.
std::optional<QMap<QString, QStringList>> decodeTable(const QByteArray& data) {
    QJsonParseError error;
    const auto document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    QMap<QString, QStringList> table;
    const auto object = document.object();
    for (auto entry = object.begin(); entry != object.end(); ++entry) {
        if (!entry->isArray())
            return std::nullopt;
        QStringList ids;
        for (const auto& id : entry->toArray()) {
            if (!id.isString())
                return std::nullopt;
            ids.append(id.toString());
        }
        table.insert(entry.key(), ids);
    }
    return table;
}

QByteArray encodeTable(const QMap<QString, QStringList>& table) {
    QJsonObject object;
    for (auto entry = table.begin(); entry != table.end(); ++entry)
        object.insert(entry.key(), QJsonArray::fromStringList(entry.value()));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QMap<QString, QStringList> TessaronManagedProfilesStore::loadManagedProfiles() const {
    const auto data = preferences_.data(storageKey);
    if (!data)
        return {};
    return decodeTable(*data).value_or(QMap<QString, QStringList>{});
}

QList<QUuid> TessaronManagedProfilesStore::managedProfileIDs(const QUuid& profileID) const {
    QList<QUuid> ids;
    for (const auto& text : loadManagedProfiles().value(uuidText(profileID))) {
        if (const auto id = uuidFromText(text))
            ids.append(*id);
    }
    return ids;
}

void TessaronManagedProfilesStore::setManagedProfileIDs(const QList<QUuid>& managedIDs,
                                                        const QUuid& profileID) {
    auto table = loadManagedProfiles();
    QStringList texts;
    for (const auto& id : managedIDs)
        texts.append(uuidText(id));
    table.insert(uuidText(profileID), texts);
    store(table);
}

void TessaronManagedProfilesStore::removeManagedProfiles(const QUuid& profileID) {
    auto table = loadManagedProfiles();
    if (table.remove(uuidText(profileID)) == 0)
        return;
    store(table);
}

void TessaronManagedProfilesStore::clear() {
    preferences_.remove(storageKey);
}

void TessaronManagedProfilesStore::store(const QMap<QString, QStringList>& table) {
    preferences_.setValue(storageKey, encodeTable(table));
}

} // namespace tessaron
