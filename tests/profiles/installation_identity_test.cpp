#include "profiles/installation_identity.hpp"
#include "profiles/installation_identity_error.hpp"

#include "support/fake_keychain.hpp"

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using Kind = TessaronInstallationIdentityErrorKind;

const QString group = QStringLiteral("TEAM.shared");
const QString service = QStringLiteral("com.hallmere.tessaron.installation");
const QString account = QStringLiteral("installation");

class InstallationIdentityTest : public ::testing::Test {
protected:
    std::optional<QByteArray> storedValue() const { return keychain.item(group, service, account); }
    void store(const QByteArray& value) { keychain.setItem(group, service, account, value); }
    QUuid identifier() { return installationID(keychain, info); }

    std::optional<Kind> failure(const BundleInfo& bundle) {
        try {
            installationID(keychain, bundle);
        } catch (const TessaronInstallationIdentityError& error) {
            return error.kind();
        }
        return std::nullopt;
    }
    std::optional<Kind> failure() { return failure(info); }

    FakeKeychain keychain;
    BundleInfo info{{{QStringLiteral("TessaronKeychainAccessGroup"), group}}, {}};
};

TEST_F(InstallationIdentityTest, FirstCallCreatesTheIdentifierAndLaterCallsReadIt) {
    const auto first = identifier();
    EXPECT_FALSE(first.isNull());
    EXPECT_EQ(storedValue(), first.toString(QUuid::WithoutBraces).toUtf8());
    EXPECT_EQ(identifier(), first);
    EXPECT_EQ(keychain.itemCount(), 1);
}

// Two first launches at once: the one that loses the add must take the winner's value.
TEST_F(InstallationIdentityTest, LosingTheCreationRaceReturnsTheOtherWritersValue) {
    const QByteArray theirs = "6f9619ff-8b86-d011-b42d-00cf4fc964ff";
    store(theirs);
    keychain.failNext(keychain_status::itemNotFound); // our read happens before their add
    EXPECT_EQ(identifier(), QUuid::fromString(QString::fromLatin1(theirs)));
    EXPECT_EQ(storedValue(), theirs);
}

TEST_F(InstallationIdentityTest, ReadsAnotherWritersUpperCaseValueAndKeepsAMalformedOne) {
    store("6F9619FF-8B86-D011-B42D-00CF4FC964FF");
    EXPECT_EQ(identifier(), QUuid::fromString(QStringLiteral("6f9619ff-8b86-d011-b42d-00cf4fc964ff")));
    for (const QByteArray value :
         {"00000000-0000-0000-0000-000000000000", "{6f9619ff-8b86-d011-b42d-00cf4fc964ff}",
          "6f9619ff-8b86-d011-b42d-00cf4fc964ff\n"}) {
        store(value);
        EXPECT_EQ(failure(), Kind::malformedIdentifier) << value.toStdString();
        EXPECT_EQ(storedValue(), value);
    }
}

TEST_F(InstallationIdentityTest, MissingGroupAndKeychainFailuresGiveTheirCases) {
    EXPECT_EQ(failure(BundleInfo()), Kind::accessGroupUnavailable);

    const std::pair<const char*, QList<qint32>> cases[] = {
        {"read fails", {keychain_status::notAvailable}},
        {"add fails", {keychain_status::itemNotFound, keychain_status::notAvailable}},
        {"read back finds nothing",
         {keychain_status::itemNotFound, keychain_status::duplicateItem, keychain_status::itemNotFound}},
    };
    for (const auto& [name, statuses] : cases) {
        for (const auto status : statuses)
            keychain.failNext(status);
        EXPECT_EQ(failure(), Kind::keychainUnavailable) << name;
        EXPECT_EQ(keychain.itemCount(), 0) << name;
    }
}

} // namespace
} // namespace tessaron::testing
