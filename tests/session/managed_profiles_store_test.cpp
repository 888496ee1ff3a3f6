#include "session/managed_profiles_store.hpp"

#include "support/memory_preferences.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using tessaron::TessaronManagedProfilesStore;
using tessaron::testing::MemoryPreferences;

namespace {

const QUuid source = QUuid::fromString(QStringLiteral("0a1b2c3d-0000-4000-8000-00000000000a"));
const QUuid managedA = QUuid::fromString(QStringLiteral("0a1b2c3d-0000-4000-8000-0000000000aa"));
const QUuid managedB = QUuid::fromString(QStringLiteral("0a1b2c3d-0000-4000-8000-0000000000bb"));
const QString sourceText = QStringLiteral("0A1B2C3D-0000-4000-8000-00000000000A");
const QString key = TessaronManagedProfilesStore::storageKey;

class ManagedProfilesStoreTest : public ::testing::Test {
protected:
    void storeRaw(const char* json) { preferences.setValue(key, QByteArray(json)); }

    MemoryPreferences preferences;
    TessaronManagedProfilesStore store{preferences};
};

} // namespace

TEST_F(ManagedProfilesStoreTest, KeepsEachSourcesListInOrderUnderUpperCaseIds) {
    store.setManagedProfileIDs({managedB, managedA}, source);
    EXPECT_EQ(store.managedProfileIDs(source), (QList<QUuid>{managedB, managedA}));

    const auto stored = QJsonDocument::fromJson(*preferences.data(key)).object();
    EXPECT_EQ(stored.keys(), QStringList{sourceText});
    EXPECT_EQ(stored.value(sourceText).toArray().first().toString(),
              QStringLiteral("0A1B2C3D-0000-4000-8000-0000000000BB"));

    store.setManagedProfileIDs({}, source);
    EXPECT_TRUE(store.loadManagedProfiles().contains(sourceText)) << "an empty list stays an entry";
    EXPECT_TRUE(store.managedProfileIDs(source).isEmpty());
}

TEST_F(ManagedProfilesStoreTest, ReadsWhatItCanAndTreatsTheRestAsEmpty) {
    struct Case {
        const char* name;
        const char* stored;
        QList<QUuid> ids;
    };
    const Case cases[] = {
        {"lower-case ids",
         R"({"0A1B2C3D-0000-4000-8000-00000000000A":["0a1b2c3d-0000-4000-8000-0000000000aa"]})",
         {managedA}},
        {"texts that are no id are skipped",
         R"({"0A1B2C3D-0000-4000-8000-00000000000A":["nope","{0A1B2C3D-0000-4000-8000-0000000000AA}",)"
         R"("0A1B2C3D-0000-4000-8000-0000000000BB"]})",
         {managedB}},
        {"a list instead of a table", R"(["0A1B2C3D-0000-4000-8000-00000000000A"])", {}},
        {"one entry of the wrong shape",
         R"({"0A1B2C3D-0000-4000-8000-00000000000A":["0A1B2C3D-0000-4000-8000-0000000000AA"],"x":[1]})",
         {}},
        {"not JSON", "{", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        storeRaw(c.stored);
        EXPECT_EQ(store.managedProfileIDs(source), c.ids);
    }

    preferences.setValue(key, QStringLiteral("{}"));
    EXPECT_TRUE(store.loadManagedProfiles().isEmpty()) << "text rather than data";
}

TEST_F(ManagedProfilesStoreTest, RemovingASourceKeepsTheOthers) {
    storeRaw(R"({"other": ["x"]})");
    store.setManagedProfileIDs({managedA}, source);
    store.removeManagedProfiles(source);
    const auto table = store.loadManagedProfiles();
    EXPECT_FALSE(table.contains(sourceText));
    EXPECT_EQ(table.value(QStringLiteral("other")), QStringList{QStringLiteral("x")});

    store.clear();
    EXPECT_FALSE(preferences.value(key).isValid());
}
