#include "platform/json_file_preferences.hpp"
#include "platform/linux_tunnel_managers.hpp"
#include "platform/system_log.hpp"
#include "platform/tunnel_provider_manager.hpp"
#include "platform/vpn_configuration_store.hpp"
#include "support/manual_clock.hpp"
#include "support/run_task.hpp"
#include "support/thrown_error.hpp"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QUrl>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>

#include <sys/stat.h>

namespace tessaron::testing {
namespace {

// A manager as the application writes one, with a value of every type in its provider configuration.
TunnelProviderManager sampleManager(qint64 version = 3) {
    TunnelProviderProtocol protocol;
    protocol.providerBundleIdentifier = QStringLiteral("com.hallmere.tessaron.PacketTunnel");
    protocol.serverAddress = QStringLiteral("zrh.example.net");
    protocol.passwordReference = QByteArray("ref\0\xff", 5);
    protocol.includeAllNetworks = true;
    protocol.enforceRoutes = true;
    protocol.excludeLocalNetworks = true;
    protocol.providerConfiguration = ProviderConfiguration{
        {"profileID", ProviderValue::text("6F1C2B4A-9D3E-4F5A-8B7C-1D2E3F4A5B6C")},
        {"name", ProviderValue::text("Zürich")},
        {"version", ProviderValue::integer(version)},
        {"killSwitch", ProviderValue::boolean(false)},
        {"routingMode", ProviderValue::text("smart")},
        {"profile", ProviderValue::data("{\"transport\":\"tcp\"}")},
    };
    TunnelProviderManager manager;
    manager.localizedDescription = QStringLiteral("Tessaron");
    manager.enabled = true;
    manager.onDemandEnabled = true;
    manager.onDemandRules = {OnDemandRule{}};
    manager.protocolConfiguration = protocol;
    return manager;
}

// The preferences and the VPN configurations in a folder of their own; the managers run with no tunnel, so
// everything they do is decided by the configuration file alone.
class ConfigFilesTest : public ::testing::Test {
protected:
    QString prefsPath() const { return directory_.filePath(QStringLiteral("preferences.json")); }
    JsonFilePreferences prefs() const { return JsonFilePreferences(prefsPath(), clock_); }
    QString path() const { return directory_.filePath(QStringLiteral("tessaron/vpn.json")); }
    VpnConfigurationStore store() const { return VpnConfigurationStore(path(), clock_); }
    std::unique_ptr<LinuxTunnelManagers> open() const {
        const TunnelEndpoint endpoint{directory_.filePath(QStringLiteral("tunnel.socket")),
                                      directory_.filePath(QStringLiteral("no-such-program"))};
        return std::make_unique<LinuxTunnelManagers>(path(), endpoint, clock_);
    }
    static void write(const QString& path, const QByteArray& contents) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    }

    QTemporaryDir directory_;
    mutable ManualClock clock_;
    SystemLog::Capture log_;
};

mode_t modeOf(const QString& path) {
    struct stat status {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
    return status.st_mode & 07777;
}

// A value as text with its type at every level: QVariant's own == would let an integer that came back as a
// double pass.
std::string typed(const QVariant& value) {
    QString text;
    QDebug(&text) << value;
    return text.toStdString();
}

TEST_F(ConfigFilesTest, PreferencesKeepsEveryValueAndItsTypeAcrossANewInstance) {
    const QDateTime withMilliseconds(QDate(2026, 3, 4), QTime(5, 6, 7, 89), QTimeZone(3600));
    const QVariantMap values{
        {"no", false},
        {"largest", std::numeric_limits<qint64>::max()},
        {"beyondDoublePrecision", (qint64(1) << 53) + 1},
        {"fraction", 0.1},
        {"infinite", std::numeric_limits<double>::infinity()},
        {"empty", QString()},
        {"textFalse", "false"},
        {"textOne", "1"},
        {"data", QByteArray("\0a\0\xff\n", 5)},
        {"date", withMilliseconds},
        {"nested", QVariantList{1, "two", QVariantList{false, 2.5}, QVariantMap{{"when", withMilliseconds}}}},
        {"dictionary",
         QVariantMap{{"inner", QVariantMap{{"bytes", QByteArray(3, '\0')}, {"list", QVariantList{}}}}}},
    };
    {
        auto writer = prefs();
        for (auto it = values.begin(); it != values.end(); ++it)
            writer.setValue(it.key(), it.value());
    }
    const auto reader = prefs();
    EXPECT_EQ(reader.keys(), values.keys());
    for (auto it = values.begin(); it != values.end(); ++it)
        EXPECT_EQ(typed(reader.value(it.key())), typed(Preferences::normalized(it.value())));
    // Text that looks like another type stays text.
    EXPECT_EQ(reader.boolean(QStringLiteral("textFalse")), std::nullopt);
    EXPECT_EQ(reader.integer(QStringLiteral("textOne")), std::nullopt);
    EXPECT_TRUE(log_.lines().isEmpty());
}

// A file that is not a JSON object is set aside whole; one that is loses only the entries it cannot
// decode, and a copy of the original is kept.
TEST_F(ConfigFilesTest, PreferencesDamageCostsOnlyWhatCannotBeReadAndTheOriginalIsKeptAside) {
    const struct {
        const char* damage;
        QByteArray contents;
        QStringList kept;
        // Entries dropped one by one; none when the whole file is set aside.
        int dropped = 0;
    } damages[] = {
        {"not JSON", "{\"a\": {\"type\": \"text\"", {}},
        {"not an object", "[1, 2, 3]", {}},
        {"entry that is not tagged",
         R"({"a": true, "ok": {"type": "text", "value": "x"}, "b": 1})",
         {"ok"},
         2},
        {"integer as a JSON number", R"({"a": {"type": "integer", "value": 5}})", {}, 1},
        {"integer beyond 64 bits",
         R"({"ok": {"type": "boolean", "value": true}, "a": {"type": "integer", "value": "9223372036854775808"}})",
         {"ok"},
         1},
        {"bad element deep inside",
         R"({"ok": {"type": "text", "value": "x"}, "a": {"type": "array", "value": [)"
         R"({"type": "dictionary", "value": {"b": {"type": "number", "value": "many"}}}]}})",
         {"ok"},
         1},
    };
    // Each damage at the same moment gets a copy of its own.
    const auto asideBase = QStringLiteral("preferences.json.damaged-20260101T000000.000Z");
    QStringList aside;
    for (const auto& [damage, contents, kept, dropped] : damages) {
        SCOPED_TRACE(damage);
        write(prefsPath(), contents);
        const auto linesBefore = log_.lines().size();

        auto preferences = prefs();
        EXPECT_EQ(preferences.keys(), kept);
        aside.append(aside.isEmpty() ? asideBase : asideBase + QStringLiteral("-%1").arg(aside.size() + 1));
        QFile copy(directory_.filePath(aside.last()));
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.readAll(), contents);
        // Reported once: the bad entries are gone from the file, and a second reader finds nothing amiss.
        EXPECT_EQ(prefs().keys(), kept);
        EXPECT_EQ(log_.lines().size() - linesBefore, dropped + 1)
            << log_.messages().join(u'\n').toStdString();
        EXPECT_EQ(QDir(directory_.path())
                      .entryList({QStringLiteral("preferences.json.damaged-*")}, QDir::Files, QDir::Name),
                  aside);

        preferences.setValue(QStringLiteral("fresh"), true);
        EXPECT_EQ(prefs().boolean(QStringLiteral("fresh")), true);
    }
}

TEST_F(ConfigFilesTest, PreferencesSeeAndKeepWhatAnotherWriterStoredAndRefuseWhatCannotBeStored) {
    auto ours = prefs();
    auto theirs = prefs();
    ours.setValue(QStringLiteral("ours"), 1);
    EXPECT_EQ(theirs.integer(QStringLiteral("ours")), 1);

    // Both have read the file; a write from each must keep the other's latest keys and removals.
    theirs.setValue(QStringLiteral("theirs"), QStringLiteral("changed"));
    ours.setValue(QStringLiteral("more"), 2.5);
    theirs.remove(QStringLiteral("ours"));

    const auto later = prefs();
    EXPECT_EQ(later.keys(), (QStringList{QStringLiteral("more"), QStringLiteral("theirs")}));
    EXPECT_EQ(later.text(QStringLiteral("theirs")), QStringLiteral("changed"));
    EXPECT_EQ(ours.keys(), later.keys());

    // A write that changes nothing neither waits for the lock another writer holds nor writes.
    {
        QLockFile held(prefsPath() + QStringLiteral(".lock"));
        ASSERT_TRUE(held.tryLock(0));
        ours.remove(QStringLiteral("absent"));
        ours.setValue(QStringLiteral("theirs"), QStringLiteral("changed"));
        EXPECT_TRUE(log_.lines().isEmpty()) << log_.messages().join(u'\n').toStdString();
    }

    // A value that cannot be stored is refused and the old one kept.
    const std::pair<const char*, QVariant> refused[] = {
        {"URL", QUrl("https://example.org")},
        {"unsigned beyond qint64", QVariant::fromValue(std::numeric_limits<quint64>::max())},
        {"dictionary holding a far date",
         QVariantMap{{"ok", 1}, {"far", QDateTime(QDate(12000, 1, 1), QTime(0, 0), Qt::UTC)}}},
    };
    for (const auto& [kind, value] : refused) {
        SCOPED_TRACE(kind);
        EXPECT_THROW(ours.setValue("theirs", value), std::invalid_argument);
        EXPECT_THROW(ours.setValue("new", value), std::invalid_argument);
        EXPECT_EQ(prefs().keys(), later.keys());
        EXPECT_EQ(ours.text("theirs"), "changed");
    }
}

// Saves assign stable identifiers and leave the last one enabled the only one enabled. A new instance reads
// what the first one wrote, as the next launch would.
TEST_F(ConfigFilesTest, VpnKeepsEveryFieldAndTypeWithOneConfigurationEnabledWhichAloneStarts) {
    auto written = sampleManager((qint64(1) << 53) + 1);
    auto& configuration = *written.tunnelProvider()->providerConfiguration;
    configuration.insert(QStringLiteral("fraction"), ProviderValue::number(ProviderNumber(0.1)));
    configuration.insert(QStringLiteral("textNumber"), ProviderValue::text(QStringLiteral("5")));
    configuration.insert(QStringLiteral("empty"), ProviderValue::data({}));
    auto other = sampleManager();
    other.onDemandEnabled = false;
    other.onDemandRules = {};
    other.protocolConfiguration = BuiltInVpnProtocol{"ikev2", "vpn.example.org"};
    auto bare = sampleManager();
    bare.enabled = false;
    bare.protocolConfiguration = std::monostate{};
    const auto managers = open();
    for (auto* manager : {&written, &other, &bare})
        manager->identifier = runTask(managers->save(*manager));
    written.enabled = false;
    // The file keeps integers as integers: number objects are what loading makes of them, not what is stored.
    EXPECT_EQ(store().load(), (QList{written, other, bare}));
    // Only a stored, enabled tunnel provider configuration starts.
    const auto start = [&](QUuid id) {
        return thrownError([&] { runTask(managers->connection(id).startTunnel()); });
    };
    EXPECT_EQ(start(QUuid::createUuid()), PlatformError::from(VpnError(VpnErrorKind::configurationInvalid)));
    EXPECT_EQ(start(other.identifier), PlatformError::from(VpnError(VpnErrorKind::configurationInvalid)));
    EXPECT_EQ(start(written.identifier), PlatformError::from(VpnError(VpnErrorKind::configurationDisabled)));

    written.localizedDescription = QStringLiteral("renamed");
    written.enabled = true;
    other.enabled = false;
    EXPECT_EQ(runTask(managers->save(written)), written.identifier)
        << "a save under a known identifier replaces";
    configuration.insert(QStringLiteral("version"),
                         ProviderValue::number(ProviderNumber((qint64(1) << 53) + 1)));
    EXPECT_EQ(runTask(open()->loadAll()), (QList{written, other, bare}));
    EXPECT_TRUE(log_.lines().isEmpty());
}

TEST_F(ConfigFilesTest, VpnAConnectionIsInvalidUntilItsConfigurationIsStoredAndAgainOnceRemoved) {
    const auto managers = open();
    EXPECT_EQ(managers->connection(QUuid::createUuid()).status(), VpnStatus::invalid);

    const auto identifier = runTask(managers->save(sampleManager()));
    auto& connection = managers->connection(identifier);
    EXPECT_EQ(connection.status(), VpnStatus::disconnected);
    EXPECT_EQ(open()->connection(identifier).status(), VpnStatus::disconnected)
        << "a new instance knows it too";
    // Without a running tunnel messages fail, no disconnect error is known and a stop changes nothing.
    EXPECT_EQ(thrownError([&] { runTask(connection.sendProviderMessage("phase")); }),
              PlatformError::from(VpnError(VpnErrorKind::connectionFailed)));
    EXPECT_EQ(runTask(connection.lastDisconnectError()), std::nullopt);
    connection.stopTunnel();
    EXPECT_EQ(connection.status(), VpnStatus::disconnected);

    QSignalSpy changes(&connection, &VpnConnection::statusChanged);
    EXPECT_NO_THROW(runTask(managers->remove(identifier)));
    EXPECT_EQ(changes, QList<QVariantList>{{QVariant::fromValue(VpnStatus::invalid)}});
    EXPECT_NO_THROW(runTask(managers->remove(identifier))) << "removing what is gone is no error";
    EXPECT_EQ(thrownError([&] { runTask(managers->load(identifier)); }),
              PlatformError::from(VpnError(VpnErrorKind::configurationInvalid)));
}

TEST_F(ConfigFilesTest, VpnADamagedFileIsKeptAsideAndTheListStartsEmpty) {
    const std::pair<const char*, QByteArray> damages[] = {
        {"not JSON", "{\"configurations\": ["},
        {"integer that is not one",
         R"({"configurations": [{"identifier": "6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c",
            "protocolConfiguration": {"kind": "tunnelProvider", "providerConfiguration":
            {"version": {"type": "integer", "value": "3.5"}}}}]})"},
    };
    for (const auto& [name, contents] : damages) {
        SCOPED_TRACE(name);
        QDir(QFileInfo(path()).absolutePath()).removeRecursively();
        write(path(), contents);
        EXPECT_TRUE(store().load().isEmpty());
        EXPECT_EQ(QDir(QFileInfo(path()).absolutePath()).entryList(QDir::Files),
                  QStringList{QStringLiteral("vpn.json.damaged-20260101T000000.000Z")});
        // The next save starts a fresh file.
        auto fresh = sampleManager();
        fresh.identifier = runTask(open()->save(fresh));
        EXPECT_EQ(store().load(), QList{fresh});
    }
}

TEST(ProviderNumberTest, IntegerValueCutsFractionsTowardZeroAndHoldsTheRange) {
    constexpr auto largest = std::numeric_limits<qint64>::max();
    constexpr auto smallest = std::numeric_limits<qint64>::min();
    const std::pair<ProviderNumber, qint64> cases[] = {
        {ProviderNumber(qint64(3)), 3},    {ProviderNumber(largest), largest},
        {ProviderNumber(2.9), 2},          {ProviderNumber(-2.9), -2},
        {ProviderNumber(1e30), largest},   {ProviderNumber(-1e30), smallest},
        {ProviderNumber(std::nan("")), 0},
    };
    for (const auto& [number, expected] : cases)
        EXPECT_EQ(number.integerValue(), expected) << number.doubleValue();
}

// Even under umask 000 nothing is left that another local user can read, damaged copies included, and
// looser modes found on disk are tightened as the store opens.
TEST_F(ConfigFilesTest, FoldersAndFilesAreTheOwnersAloneWhateverTheUmask) {
    const struct Umask {
        mode_t previous = ::umask(0);
        ~Umask() { ::umask(previous); }
    } umask;
    // Each store opened at a path, writing (true) or only reading (false).
    const std::pair<const char*, std::function<void(const QString&, bool)>> stores[] = {
        {"preferences",
         [&](const QString& path, bool write) {
             JsonFilePreferences preferences(path, clock_);
             write ? preferences.setValue(QStringLiteral("city"), QStringLiteral("Zürich"))
                   : void(preferences.keys());
         }},
        {"VPN configurations",
         [&](const QString& path, bool write) {
             VpnConfigurationStore store(path, clock_);
             write ? store.update([](auto& managers) { applySave(managers, sampleManager()); })
                   : void(store.load());
         }},
    };
    for (const auto& [name, open] : stores) {
        SCOPED_TRACE(name);
        const QTemporaryDir directory;
        const auto folder = directory.filePath(QStringLiteral("config/tessaron"));
        const auto path = folder + QStringLiteral("/store.json");
        open(path, true);
        EXPECT_EQ(modeOf(directory.filePath(QStringLiteral("config"))), 0700u);
        EXPECT_EQ(modeOf(path), 0600u) << "as written, before any open tightens it";

        write(path, "{");
        open(path, false);
        open(path, true);
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
        open(path, false);

        EXPECT_EQ(modeOf(folder), 0700u);
        const auto files = QDir(folder).entryList(QDir::Files);
        ASSERT_EQ(files.size(), 2) << "the file and its damaged copy";
        for (const auto& file : files)
            EXPECT_EQ(modeOf(QDir(folder).filePath(file)), 0600u) << file.toStdString();
    }
}

} // namespace
} // namespace tessaron::testing
