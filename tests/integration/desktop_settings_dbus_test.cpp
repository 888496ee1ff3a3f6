#include "platform/power_state_observer.hpp"
#include "platform/reduce_motion_observer.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

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
    QString profile = QStringLiteral("balanced");
};

class FakePortalSettings final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    bool animations = true;

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
        power.profile = profile;
        auto message =
            QDBusMessage::createSignal(powerPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                       QStringLiteral("PropertiesChanged"));
        message << QStringLiteral("net.hadess.PowerProfiles")
                << QVariantMap{{QStringLiteral("ActiveProfile"), profile}} << QStringList{};
        bus_.send(message);
    }
    void setAnimations(bool enabled) {
        portal.animations = enabled;
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

class DesktopSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run inside dbus-run-session";
    }
};

TEST_F(DesktopSettingsTest, MissingServicesMeanNormalPowerAndMotion) {
    PowerStateObserver power(QDBusConnection::sessionBus());
    ReduceMotionObserver motion(QDBusConnection::sessionBus());
    QTest::qWait(200);
    EXPECT_FALSE(power.lowPower());
    EXPECT_FALSE(motion.reduceMotion());
}

TEST_F(DesktopSettingsTest, FollowsThePowerSaverProfileAndTheAnimationSetting) {
    FakeDesktop desktop;
    desktop.power.profile = QStringLiteral("power-saver");
    desktop.portal.animations = false;
    PowerStateObserver power(QDBusConnection::sessionBus());
    ReduceMotionObserver motion(QDBusConnection::sessionBus());
    EXPECT_TRUE(QTest::qWaitFor([&] { return power.lowPower() && motion.reduceMotion(); }, 5000));

    // A subscription reaches the bus a little after it is made: repeat the change until it arrives.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            desktop.switchProfile(QStringLiteral("performance"));
            desktop.setAnimations(true);
            QTest::qWait(20);
            return !power.lowPower() && !motion.reduceMotion();
        },
        5000));
}

TEST_F(DesktopSettingsTest, ReturnsToPowerSaverAfterAnotherProfile) {
    FakeDesktop desktop;
    desktop.power.profile = QStringLiteral("power-saver");
    PowerStateObserver power(QDBusConnection::sessionBus());
    EXPECT_TRUE(QTest::qWaitFor([&] { return power.lowPower(); }, 5000)) << "first reading";
    for (const auto& [profile, low] :
         {std::pair{QStringLiteral("balanced"), false}, std::pair{QStringLiteral("power-saver"), true}}) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&, &profile = profile, low = low] {
                desktop.switchProfile(profile);
                return power.lowPower() == low;
            },
            5000))
            << profile.toStdString();
    }
}

TEST(ReduceMotionValue, UnwrapsNestedVariantsAndIgnoresOtherTypes) {
    EXPECT_EQ(ReduceMotionObserver::animationsEnabled(
                  QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(false))))),
              false);
    EXPECT_EQ(ReduceMotionObserver::animationsEnabled(true), true);
    EXPECT_EQ(ReduceMotionObserver::animationsEnabled(QStringLiteral("false")), std::nullopt);
    EXPECT_TRUE(PowerStateObserver::isPowerSaver(QStringLiteral("power-saver")));
    EXPECT_FALSE(PowerStateObserver::isPowerSaver(QStringLiteral("balanced")));
}

} // namespace

#include "desktop_settings_dbus_test.moc"
