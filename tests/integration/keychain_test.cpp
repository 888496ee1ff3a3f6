// GLib's headers (libsecret) come before any Qt header. The tests lock and unlock the keyring behind the
// keychain's back, which takes libsecret's lower-level calls.
#define SECRET_API_SUBJECT_TO_CHANGE
#include <libsecret/secret.h>

#include "account/session_token_store.hpp"
#include "account/subscription_link_store.hpp"
#include "platform/secret_service_keychain.hpp"
#include "support/run_task.hpp"
#include "support/scoped_environment.hpp"
#include "support/secret_service_stand_in.hpp"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#ifdef __has_feature
#if __has_feature(address_sanitizer)
#include <sanitizer/lsan_interface.h>
#define TESSARON_LEAK_CHECK 1
#endif
#endif

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <semaphore>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;
namespace status = keychain_status;

const QString profileService = QStringLiteral("com.hallmere.tessaron.profile");
const QString otherService = QStringLiteral("com.hallmere.tessaron.account");

// Standard strings, which GoogleTest prints readably (NUL bytes included) when a comparison fails.
using Read = std::pair<qint32, std::string>;

Read read(const KeychainResult<QByteArray>& result) {
    return {result.status, result.value.toStdString()};
}

Read found(const QByteArray& data) {
    return {status::success, data.toStdString()};
}

class SecretServiceKeychainTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("TESSARON_TEST_KEYRING_PASSWORD"))
            << "run this suite through tests/support/with-keyring.sh";
    }

    // Each test keeps to an access group of its own, so the whole suite can also share one keyring.
    KeychainQuery query(std::optional<QString> account, const QString& service = profileService) const {
        return {group, service, std::move(account)};
    }

    const QString group = QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
    SecretServiceKeychain keychain;
};

TEST_F(SecretServiceKeychainTest, ItemLivesThroughAddUpdateAndRemoveAndOnlyItsReferenceResolvesIt) {
    QByteArray everyByte;
    for (int byte = 0; byte < 256; ++byte)
        everyByte.append(char(byte));
    const auto item = query(QStringLiteral("alice"));
    EXPECT_EQ(keychain.update(item, "created by update"), status::itemNotFound);
    ASSERT_EQ(keychain.add(item, QByteArray()), status::success);
    EXPECT_EQ(keychain.add(item, "replacement"), status::duplicateItem);
    EXPECT_EQ(read(keychain.copyData(item)), found(QByteArray()));
    const auto reference = keychain.persistentRef(item);
    ASSERT_EQ(reference.status, status::success);

    // The data comes back byte for byte, through the item and through its unchanged reference.
    EXPECT_EQ(keychain.update(item, everyByte.repeated(256)), status::success);
    EXPECT_EQ(read(keychain.copyData(item)), found(everyByte.repeated(256)));
    EXPECT_EQ(read(keychain.persistentRef(item)), found(reference.value));
    EXPECT_EQ(read(keychain.resolve(reference.value)), found(everyByte.repeated(256)));

    // A reference resolves to its own item only.
    ASSERT_EQ(keychain.add(query(QStringLiteral("alicia")), "other"), status::success);
    auto otherAccount = reference.value;
    otherAccount.replace("\"alice\"", "\"mallory\"");
    for (const auto& candidate :
         {QByteArrayLiteral("\x01\x02 not a reference"), reference.value.chopped(1), otherAccount})
        EXPECT_EQ(read(keychain.resolve(candidate)), Read(status::itemNotFound, {}))
            << candidate.toStdString();

    // Queries that need an account refuse one without, and leave the item alone.
    EXPECT_EQ(keychain.copyData(query(std::nullopt)).status, status::badParameter);
    EXPECT_EQ(keychain.update(query(std::nullopt), "x"), status::badParameter);

    EXPECT_EQ(keychain.remove(item), status::success);
    EXPECT_EQ((std::vector{keychain.copyData(item).status, keychain.persistentRef(item).status,
                           keychain.resolve(reference.value).status, keychain.remove(item)}),
              std::vector<qint32>(4, status::itemNotFound));

    // Work handed to run() is done in the order asked for, also when it queues behind slow work: an add
    // then a removal leaves no item.
    std::promise<void> slow;
    auto wait = [done = slow.get_future().share()] {
        done.wait();
    };
    auto add = [this, item] {
        return keychain.add(item, "added");
    };
    auto remove = [this, item] {
        return keychain.remove(item);
    };
    auto waited = keychain.run(std::move(wait));
    auto added = keychain.run(std::move(add));
    auto removed = keychain.run(std::move(remove));
    slow.set_value();
    runTask(std::move(waited));
    EXPECT_EQ(
        (std::vector{runTask(std::move(added)), runTask(std::move(removed)), keychain.copyData(item).status}),
        (std::vector{status::success, status::success, status::itemNotFound}));
}

TEST_F(SecretServiceKeychainTest, ServiceWideCallsListAndRemoveTheirOwnGroupAndServiceOnly) {
    for (const auto* account : {"carol", "alice", "bob"})
        ASSERT_EQ(keychain.add(query(QString::fromUtf8(account)), QByteArray(account) + "-secret"),
                  status::success);
    // Neighbours share the group or the service, but not both.
    const KeychainQuery otherGroup{group + QStringLiteral(".other"), profileService, QStringLiteral("dave")};
    ASSERT_EQ(keychain.add(otherGroup, "d"), status::success);
    ASSERT_EQ(keychain.add(query(QStringLiteral("erin"), otherService), "e"), status::success);

    std::vector<std::string> listed;
    for (const auto& item : keychain.copyAll(query(std::nullopt)).value)
        listed.push_back((item.account + u'=' + QString::fromUtf8(item.data)).toStdString());
    EXPECT_EQ(listed,
              (std::vector<std::string>{"alice=alice-secret", "bob=bob-secret", "carol=carol-secret"}));

    EXPECT_EQ(keychain.remove(query(std::nullopt)), status::success);
    EXPECT_EQ(keychain.copyAll(query(std::nullopt)).status, status::itemNotFound);
    EXPECT_EQ(read(keychain.copyData(otherGroup)), found("d"));
    EXPECT_EQ(read(keychain.copyData(query(QStringLiteral("erin"), otherService))), found("e"));
}

// The account's stores over the real keyring. The sign-in flows that fill and clear them are pinned by the
// account model's own suite, over the same stores on a scripted keychain.
TEST_F(SecretServiceKeychainTest, TheAccountStoresAddUpdateReadBackAndSweepTheirItems) {
    const BundleInfo bundle{QVariantMap{{QStringLiteral("TessaronKeychainAccessGroup"), group}},
                            ProgramLocations{}};
    const auto accountItems = [&] {
        QStringList accounts;
        for (const auto& item : keychain.copyAll(query(std::nullopt, accountKeychainService)).value)
            accounts.append(item.account);
        return accounts;
    };
    const TessaronSessionTokenStore tokens(keychain, bundle);
    const TessaronSubscriptionLinkStore links(keychain, bundle);
    const QUrl first(QStringLiteral("https://a.test/v1/sub/1")),
        second(QStringLiteral("https://a.test/v1/sub/2"));
    for (const auto& url : {first, second}) {
        EXPECT_TRUE(tokens.save(url.path()));
        links.write(url, QStringLiteral("acct-1"));
    }
    links.write(first, QStringLiteral("acct-2"));
    EXPECT_EQ(tokens.load(), second.path());
    EXPECT_EQ(links.readURL(QStringLiteral("acct-1")), second);
    EXPECT_EQ(accountItems().size(), 3);
    links.removeAll();
    EXPECT_EQ(accountItems(), QStringList{TessaronSessionTokenStore::keychainAccount});
    tokens.remove();
    EXPECT_TRUE(accountItems().isEmpty());
}

TEST_F(SecretServiceKeychainTest, OperationsFromEightThreadsDoNotInterfere) {
    constexpr int threadCount = 8, rounds = 4;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < threadCount; ++thread) {
        threads.emplace_back([this, thread] {
            for (int round = 0; round < rounds; ++round) {
                const auto item = query(QStringLiteral("thread-%1-round-%2").arg(thread).arg(round));
                const auto data = QByteArray::number(thread * 100 + round);
                EXPECT_EQ(keychain.add(item, data), status::success);
                EXPECT_EQ(keychain.update(item, data + "'"), status::success);
                EXPECT_EQ(read(keychain.resolve(keychain.persistentRef(item).value)), found(data + "'"));
                EXPECT_EQ(keychain.copyAll(query(std::nullopt)).status, status::success);
                if (round % 2 == 0) {
                    EXPECT_EQ(keychain.remove(item), status::success);
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(keychain.copyAll(query(std::nullopt)).value.size(), threadCount * rounds / 2)
        << "every odd round's item is kept";
}

// Locks the keyring's default collection, as the desktop would.
bool lockDefaultCollection() {
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, nullptr);
    SecretCollection* collection =
        service ? secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE,
                                                   nullptr, nullptr)
                : nullptr;
    GList objects{collection, nullptr, nullptr};
    const bool locked =
        collection && secret_service_lock_sync(service, &objects, nullptr, nullptr, nullptr) == 1;
    g_clear_object(&collection);
    g_clear_object(&service);
    return locked;
}

// The process id of whoever owns the Secret Service's name on the session bus.
std::optional<guint32> keyringDaemonPid() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "GetConnectionUnixProcessID", g_variant_new("(s)", "org.freedesktop.secrets"), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    g_object_unref(bus);
    if (!reply)
        return std::nullopt;
    guint32 pid = 0;
    g_variant_get(reply, "(u)", &pid);
    g_variant_unref(reply);
    return pid;
}

// Stops the keyring daemon and starts a new one on the same keyring files, as a crash and restart would.
void restartKeyringDaemon() {
    const auto running = keyringDaemonPid();
    ASSERT_TRUE(running);
    ASSERT_EQ(kill(pid_t(*running), SIGTERM), 0);
    ASSERT_TRUE(QTest::qWaitFor([] { return !keyringDaemonPid(); }, 5000));

    QProcess daemon;
    daemon.start(QStringLiteral("gnome-keyring-daemon"),
                 {QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    daemon.write(qgetenv("TESSARON_TEST_KEYRING_PASSWORD"));
    daemon.closeWriteChannel();
    ASSERT_TRUE(daemon.waitForFinished(5000));
    ASSERT_TRUE(QTest::qWaitFor([] { return keyringDaemonPid().has_value(); }, 5000));
}

// A locked keyring answers notAvailable, never "not found"; a restarted daemon (which unlocks it again)
// is found again by the same keychain.
TEST_F(SecretServiceKeychainTest, LockedKeyringIsNotAvailableAndARestartedOneServesAgain) {
    const auto item = query(QStringLiteral("alice"));
    ASSERT_EQ(keychain.add(item, "secret"), status::success);
    const auto reference = keychain.persistentRef(item).value;
    ASSERT_TRUE(lockDefaultCollection());

    // Nobody can answer the unlock prompt here (the wrapper has no display), so the unlock is refused.
    SecretServiceKeychain impatient(5s);
    // Clearing by attributes would skip the locked item and report it as not found; a listing that read only
    // what is unlocked would report no items.
    EXPECT_EQ((std::vector{impatient.copyData(item).status, impatient.resolve(reference).status,
                           impatient.update(item, "changed"), impatient.remove(query(std::nullopt)),
                           impatient.copyAll(query(std::nullopt)).status}),
              std::vector<qint32>(5, status::notAvailable));
    EXPECT_EQ(impatient.add(item, "another"), status::duplicateItem);
    EXPECT_EQ(read(impatient.persistentRef(item)), found(reference));

    restartKeyringDaemon();
    const auto listed = keychain.copyAll(query(std::nullopt));
    EXPECT_EQ(std::pair(listed.status, listed.value.size()), std::pair(status::success, qsizetype(1)));
    EXPECT_EQ(read(keychain.copyData(item)), found("secret"));
    EXPECT_EQ(keychain.update(item, "changed"), status::success);
    EXPECT_EQ(read(keychain.copyData(item)), found("changed"));
}

// Ways for a process to be without a Secret Service. Each prepares the environment before anything in the
// process has touched the session bus: GLib keeps the first connection of a process for good.
void deadSocket(const QString& scratch) {
    setenv("DBUS_SESSION_BUS_ADDRESS", qPrintable(QStringLiteral("unix:path=%1/gone").arg(scratch)), 1);
}

// A bus that takes the connection and then never says a word: nothing in the child runs the server's event
// loop, so it never reads; it stays open until the process ends.
void silentBus(const QString& scratch) {
    static QLocalServer server;
    if (!server.listen(scratch + QStringLiteral("/silent")))
        std::perror("silent bus");
    setenv("DBUS_SESSION_BUS_ADDRESS",
           qPrintable(QStringLiteral("unix:path=%1").arg(server.fullServerName())), 1);
}

// A Secret Service on a private bus that takes every call and never answers, as a daemon waiting on an
// unlock prompt nobody answers would. The bus ends with the child.
class SilentSecretService final : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};
void silentService(const QString&) {
    const auto address = startPrivateSessionBus();
    static SilentSecretService service;
    auto standIn = QDBusConnection::connectToBus(address, QStringLiteral("silent-secret-service"));
    if (!standIn.registerService(QStringLiteral("org.freedesktop.secrets")) ||
        !standIn.registerVirtualObject(QStringLiteral("/"), &service, QDBusConnection::SubPath))
        std::perror("silent service");
}

constexpr auto unreachableLimit = 500ms;
// Far below the bus's own 25 s timeout and the keychain's default limit, which a call that ignored the limit
// would wait out; far above what two calls of the limit take on a machine busy with other work.
constexpr qint64 promptlyMs = 10'000;

// The calls go through run() from the main thread, which keeps running its events while they wait: the work
// ends only once the main thread's event loop has turned after the calls, so it never ends while the calls
// hold the main thread.
int answersNotAvailablePromptly(void (*cutOff)(const QString& scratch)) {
    alarm(20); // a hang ends the child, not the suite
    const QTemporaryDir scratch;
    cutOff(scratch.path());
    SecretServiceKeychain keychain(unreachableLimit);
    const KeychainQuery item{QStringLiteral("group"), profileService, QStringLiteral("alice")};
    QObject mainThread;
    std::binary_semaphore turned{0};
    QElapsedTimer timer;
    timer.start();
    auto calls = [&keychain, item, &mainThread, &turned] {
        const auto answers = std::pair(keychain.add(item, "secret"), keychain.copyAll(item).status);
        QMetaObject::invokeMethod(
            &mainThread, [&turned] { turned.release(); }, Qt::QueuedConnection);
        turned.acquire();
        return answers;
    };
    const auto [added, listed] = runTask(keychain.run(std::move(calls)));
    const auto elapsed = timer.elapsed();
    std::fprintf(stderr, "add %d, list %d, after %lld ms\n", added, listed, static_cast<long long>(elapsed));
    return added == status::notAvailable && listed == status::notAvailable && elapsed < promptlyMs ? 0 : 1;
}

// Each case runs in a fresh child process, which has not connected to the wrapper's bus yet.
TEST(SecretServiceKeychainUnreachableTest, AnswersNotAvailablePromptlyWhileTheMainThreadRuns) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const auto cutOff : {deadSocket, silentBus, silentService})
        EXPECT_EXIT(std::_Exit(answersNotAvailablePromptly(cutOff)), ::testing::ExitedWithCode(0), "");
}

// Whether the process leaked anything so far, reported on stderr. A build without the leak checker finds
// nothing.
bool leakedAnything() {
#ifdef TESSARON_LEAK_CHECK
    return __lsan_do_recoverable_leak_check() != 0;
#else
    return false;
#endif
}

using PromptAnswer = SecretServiceStandIn::PromptAnswer;

struct PromptCase {
    PromptAnswer answer;
    qint32 status;
    std::vector<std::string> listed;
};

// Lists a locked collection ten times, each time after the stand-in locked it again, and answers its
// prompt as the case says. Every listing must give the case's answer after one prompt of its own, and
// none may leave memory behind.
int listsWhatThePromptUnlocked(const PromptCase& promptCase) {
    alarm(30); // a hang ends the child, not the suite
    SecretServiceStandIn standIn(promptCase.answer);
    if (!standIn.serve(startPrivateSessionBus()))
        return 2;
    const KeychainQuery everyItem{QStringLiteral("group"), profileService, std::nullopt};
    for (const auto* account : {"bob", "alice"}) {
        standIn.addItem({{QStringLiteral("access-group"), everyItem.accessGroup},
                         {QStringLiteral("service"), everyItem.service},
                         {QStringLiteral("account"), QString::fromUtf8(account)}},
                        QByteArray(account) + "-secret");
    }
    standIn.addItem({{QStringLiteral("access-group"), QStringLiteral("other")},
                     {QStringLiteral("service"), everyItem.service},
                     {QStringLiteral("account"), QStringLiteral("mallory")}},
                    "not listed");
    SecretServiceKeychain keychain(5s);
    constexpr int listings = 10;
    int alike = 0;
    for (int listing = 0; listing < listings; ++listing) {
        standIn.lockAll();
        auto list = [&keychain, everyItem] {
            return keychain.copyAll(everyItem);
        };
        const auto result = runTask(keychain.run(std::move(list)), 20s);
        std::vector<std::string> listed;
        for (const auto& item : result.value)
            listed.push_back((item.account + u'=' + QString::fromUtf8(item.data)).toStdString());
        if (result.status == promptCase.status && listed == promptCase.listed)
            ++alike;
    }
    const bool leaked = leakedAnything();
    std::fprintf(stderr, "%d of %d listings as expected after %d prompts, %s\n", alike, listings,
                 standIn.promptsShown(), leaked ? "leaked" : "nothing leaked");
    return alike == listings && standIn.promptsShown() == listings && !leaked ? 0 : 1;
}

// What a person meets at launch with a locked keyring: typing the password lists the saved items, and
// turning the prompt away lists none and reports the keyring unavailable. Each case runs in a fresh child
// on a bus of its own, with the stand-in for the Secret Service.
TEST(SecretServiceKeychainUnlockTest, ALockedCollectionListsWhatItsPromptUnlockedAndLeavesNothingBehind) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The suite runs without the leak checker (see sanitizer_options.cpp); the children run with it, and
    // check where they choose. They end with _Exit, which skips the check at exit.
    const ScopedEnvironment leakCheck({{"ASAN_OPTIONS", qgetenv("ASAN_OPTIONS") + ":detect_leaks=1"}});
    const PromptCase cases[] = {
        {PromptAnswer::unlock, status::success, {"alice=alice-secret", "bob=bob-secret"}},
        {PromptAnswer::dismiss, status::notAvailable, {}},
    };
    for (const auto& promptCase : cases)
        EXPECT_EXIT(std::_Exit(listsWhatThePromptUnlocked(promptCase)), ::testing::ExitedWithCode(0), "")
            << "status " << promptCase.status;
}

} // namespace
} // namespace tessaron::testing
