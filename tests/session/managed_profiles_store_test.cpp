#include "session/managed_profiles_store.hpp"

#include "support/memory_preferences.hpp"

#include <gtest/gtest.h>

using tessaron::TessaronManagedProfilesStore;

const QString sourceText = QStringLiteral("0A1B2C3D-0000-4000-8000-00000000000A");
const QUuid source = QUuid::fromString(sourceText);
const QUuid managedA = QUuid::fromString(QStringLiteral("0a1b2c3d-0000-4000-8000-0000000000aa"));
const QUuid managedB = QUuid::fromString(QStringLiteral("0a1b2c3d-0000-4000-8000-0000000000bb"));
const QString key = TessaronManagedProfilesStore::storageKey;

TEST(ManagedProfilesStoreTest, KeepsEachSourcesListInOrderUnderUpperCaseIdsAndReadsWhatItCan) {
    tessaron::testing::MemoryPreferences preferences;
    TessaronManagedProfilesStore store{preferences};
    preferences.setValue(key, QByteArray(R"({"other": ["x"]})"));
    store.setManagedProfileIDs({managedB, managedA}, source);
    EXPECT_EQ(store.managedProfileIDs(source), (QList<QUuid>{managedB, managedA}));
    EXPECT_EQ(store.loadManagedProfiles().value(sourceText).value(0),
              QStringLiteral("0A1B2C3D-0000-4000-8000-0000000000BB"));

    store.setManagedProfileIDs({}, source);
    EXPECT_TRUE(store.loadManagedProfiles().contains(sourceText)) << "an empty list stays an entry";
    store.removeManagedProfiles(source);
    EXPECT_EQ(store.loadManagedProfiles(), (QMap<QString, QStringList>{{"other", {"x"}}}));
    store.clear();
    EXPECT_FALSE(preferences.value(key).isValid());

    // What cannot be read counts as empty.
    const std::tuple<const char*, QList<QUuid>> cases[] = {
        {R"({"0A1B2C3D-0000-4000-8000-00000000000A":["0a1b2c3d-0000-4000-8000-0000000000aa"]})", {managedA}},
        // Texts that are no id are skipped.
        {R"({"0A1B2C3D-0000-4000-8000-00000000000A":["nope","{0A1B2C3D-0000-4000-8000-0000000000AA}",)"
         R"("0A1B2C3D-0000-4000-8000-0000000000BB"]})",
         {managedB}},
        {R"(["0A1B2C3D-0000-4000-8000-00000000000A"])", {}},
        // One entry of the wrong shape spoils the table.
        {R"({"0A1B2C3D-0000-4000-8000-00000000000A":["0A1B2C3D-0000-4000-8000-0000000000AA"],"x":[1]})", {}},
        {"{", {}},
    };
    for (const auto& [stored, ids] : cases) {
        preferences.setValue(key, QByteArray(stored));
        EXPECT_EQ(store.managedProfileIDs(source), ids) << stored;
    }
    preferences.setValue(key, QStringLiteral("{}"));
    EXPECT_TRUE(store.loadManagedProfiles().isEmpty()) << "text rather than data";
}
