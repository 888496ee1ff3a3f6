#include "profiles/installation_identity.hpp"
#include "profiles/installation_identity_error.hpp"

#include "support/fake_keychain.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

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

    const QByteArray values[] = {
        "00000000-0000-0000-0000-000000000000",
        "{6f9619ff-8b86-d011-b42d-00cf4fc964ff}",
        "6f9619ff-8b86-d011-b42d-00cf4fc964ff\n",
    };
    for (const auto& value : values) {
        store(value);
        EXPECT_EQ(failure(), Kind::malformedIdentifier) << value.toStdString();
        EXPECT_EQ(storedValue(), value);
    }
}

TEST_F(InstallationIdentityTest, MissingGroupAndKeychainFailuresGiveTheirCases) {
    EXPECT_EQ(failure(BundleInfo()), Kind::accessGroupUnavailable);

    struct Case {
        const char* name;
        QList<qint32> statuses;
    };
    const Case cases[] = {
        {"read fails", {keychain_status::notAvailable}},
        {"add fails", {keychain_status::itemNotFound, keychain_status::notAvailable}},
        {"read back finds nothing",
         {keychain_status::itemNotFound, keychain_status::duplicateItem, keychain_status::itemNotFound}},
    };
    for (const auto& c : cases) {
        for (const auto status : c.statuses)
            keychain.failNext(status);
        EXPECT_EQ(failure(), Kind::keychainUnavailable) << c.name;
        EXPECT_EQ(keychain.itemCount(), 0) << c.name;
    }
}

// Holds every thread's first read until all of them have read, so that they all find no item and race to
// add one.
class RacingKeychain final : public Keychain {
public:
    RacingKeychain(Keychain& inner, int racers)
        : inner_(inner)
        , racers_(racers)
        , allRead_(racers) {}

    KeychainResult<QByteArray> copyData(const KeychainQuery& query) override {
        auto result = inner_.copyData(query);
        if (firstReads_++ < racers_)
            allRead_.arrive_and_wait();
        return result;
    }
    KeychainResult<QList<KeychainItem>> copyAll(const KeychainQuery& query) override {
        return inner_.copyAll(query);
    }
    qint32 add(const KeychainQuery& query, const QByteArray& data) override {
        return inner_.add(query, data);
    }
    qint32 update(const KeychainQuery& query, const QByteArray& data) override {
        return inner_.update(query, data);
    }
    qint32 remove(const KeychainQuery& query) override { return inner_.remove(query); }
    KeychainResult<QByteArray> persistentRef(const KeychainQuery& query) override {
        return inner_.persistentRef(query);
    }
    KeychainResult<QByteArray> resolve(const QByteArray& ref) override { return inner_.resolve(ref); }

private:
    Keychain& inner_;
    const int racers_;
    std::atomic<int> firstReads_ = 0;
    std::latch allRead_;
};

TEST_F(InstallationIdentityTest, ParallelFirstCallsAgreeOnOneIdentifier) {
    constexpr int threadCount = 8;
    RacingKeychain racing(keychain, threadCount);
    std::vector<QUuid> results(threadCount);
    std::vector<std::thread> threads;
    for (int i = 0; i < threadCount; ++i) {
        threads.emplace_back([&, i] {
            try {
                results[i] = installationID(racing, info);
            } catch (const TessaronInstallationIdentityError&) {
                // left null, which fails the comparison below
            }
        });
    }
    for (auto& thread : threads)
        thread.join();

    EXPECT_FALSE(results.front().isNull());
    for (const auto& result : results)
        EXPECT_EQ(result, results.front());
    EXPECT_EQ(storedValue(), results.front().toString(QUuid::WithoutBraces).toUtf8());
}

} // namespace
} // namespace tessaron::testing
