#include "platform/power_state_observer.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString service = QStringLiteral("net.hadess.PowerProfiles");
const QString path = QStringLiteral("/net/hadess/PowerProfiles");

// The daemon's one property the observer reads.
class FakePowerProfiles final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.hadess.PowerProfiles")
    Q_PROPERTY(QString ActiveProfile READ activeProfile)
public:
    QString activeProfile() const { return profile; }
    QString profile;
};

// The daemon on a connection of its own, as another process would be.
class Daemon {
public:
    explicit Daemon(const QString& profile)
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("power-daemon"))) {
        object_.profile = profile;
        EXPECT_TRUE(bus_.registerService(service));
        EXPECT_TRUE(bus_.registerObject(path, &object_, QDBusConnection::ExportAllProperties));
    }
    ~Daemon() { QDBusConnection::disconnectFromBus(QStringLiteral("power-daemon")); }

    void switchTo(const QString& profile) {
        object_.profile = profile;
        auto changed = QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                  QStringLiteral("PropertiesChanged"));
        changed.setArguments(
            {service, QVariantMap{{QStringLiteral("ActiveProfile"), profile}}, QStringList{}});
        bus_.send(changed);
    }

private:
    QDBusConnection bus_;
    FakePowerProfiles object_;
};

TEST(PowerStateDbusTest, FollowsThePowerSaverProfile) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run inside dbus-run-session";
    Daemon daemon(QStringLiteral("power-saver"));
    tessaron::PowerStateObserver observer(QDBusConnection::sessionBus());
    EXPECT_TRUE(QTest::qWaitFor([&] { return observer.lowPower(); }, 5000)) << "first reading";
    // The subscription reaches the bus a little after it is made: repeat the change until it arrives.
    for (const auto& [profile, low] :
         {std::pair{QStringLiteral("balanced"), false}, std::pair{QStringLiteral("power-saver"), true}}) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&, &profile = profile, low = low] {
                daemon.switchTo(profile);
                return observer.lowPower() == low;
            },
            5000))
            << profile.toStdString();
    }
}

} // namespace

#include "power_state_dbus_test.moc"
