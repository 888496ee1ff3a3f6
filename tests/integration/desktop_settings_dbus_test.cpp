#include "platform/power_state_observer.hpp"
#include "platform/reduce_motion_observer.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTest>

#include <gtest/gtest.h>

using tessaron::PowerStateObserver;
using tessaron::ReduceMotionObserver;

namespace {

const QString powerPath = QStringLiteral("/net/hadess/PowerProfiles");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");

class FakePowerProfiles final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.hadess.PowerProfiles")
    Q_PROPERTY(QString ActiveProfile READ activeProfile)
public:
    QString activeProfile() const { return profile; }
    QString profile = QStringLiteral("power-saver");
};

class FakePortalSettings final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    bool animations = false;

public Q_SLOTS:
    // The portal answers with the value wrapped once more.
    QDBusVariant Read(const QString&, const QString&) {
        return QDBusVariant(QVariant::fromValue(QDBusVariant(animations)));
    }
};

// The daemon and the portal on a connection of their own, as other processes would be.
class FakeDesktop {
public:
    FakeDesktop()
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-desktop"))) {
        EXPECT_TRUE(bus_.registerService(QStringLiteral("net.hadess.PowerProfiles")));
        EXPECT_TRUE(bus_.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        EXPECT_TRUE(bus_.registerObject(powerPath, &power, QDBusConnection::ExportAllProperties));
        EXPECT_TRUE(bus_.registerObject(portalPath, &portal, QDBusConnection::ExportAllSlots));
    }
    ~FakeDesktop() { QDBusConnection::disconnectFromBus(QStringLiteral("fake-desktop")); }

    void switchProfile(const QString& profile) {
        auto message =
            QDBusMessage::createSignal(powerPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                       QStringLiteral("PropertiesChanged"));
        message << QStringLiteral("net.hadess.PowerProfiles")
                << QVariantMap{{QStringLiteral("ActiveProfile"), profile}} << QStringList{};
        bus_.send(message);
    }
    void setAnimations(const QVariant& enabled) {
        auto message = QDBusMessage::createSignal(
            portalPath, QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"));
        message << QStringLiteral("org.gnome.desktop.interface") << QStringLiteral("enable-animations")
                << QVariant::fromValue(QDBusVariant(enabled));
        bus_.send(message);
    }

    FakePowerProfiles power;
    FakePortalSettings portal;

private:
    QDBusConnection bus_;
};

TEST(DesktopSettingsTest, FollowsThePowerSaverProfileAndTheAnimationSettingNormalWithoutThem) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run inside dbus-run-session";
    {
        SCOPED_TRACE("missing services");
        PowerStateObserver power(QDBusConnection::sessionBus());
        ReduceMotionObserver motion(QDBusConnection::sessionBus());
        QTest::qWait(200);
        EXPECT_FALSE(power.lowPower());
        EXPECT_FALSE(motion.reduceMotion());
    }
    FakeDesktop desktop;
    PowerStateObserver power(QDBusConnection::sessionBus());
    ReduceMotionObserver motion(QDBusConnection::sessionBus());
    EXPECT_TRUE(QTest::qWaitFor([&] { return power.lowPower() && motion.reduceMotion(); }, 5000)) << "read";
    // A subscription reaches the bus a little after it is made: repeat each change until it arrives.
    const auto changeUntil = [&](const QString& profile, const QVariant& animations, bool low, bool reduce) {
        return QTest::qWaitFor(
            [&] {
                desktop.switchProfile(profile);
                desktop.setAnimations(animations);
                QTest::qWait(20);
                return power.lowPower() == low && motion.reduceMotion() == reduce;
            },
            5000);
    };
    EXPECT_TRUE(changeUntil(QStringLiteral("performance"), true, false, false));
    EXPECT_TRUE(changeUntil(QStringLiteral("power-saver"), false, true, true)) << "back to power saver";
    // A value of another type says nothing about animations.
    EXPECT_TRUE(changeUntil(QStringLiteral("balanced"), QStringLiteral("false"), false, false));
}

} // namespace

#include "desktop_settings_dbus_test.moc"
