// What the desktop tells over D-Bus: the host's activity, the power profile and the animation setting, from
// stand-ins that own the well-known names on the suite's private bus.
#include "platform/linux_host_activity_source.hpp"
#include "platform/power_state_observer.hpp"
#include "platform/reduce_motion_observer.hpp"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

using tessaron::LinuxHostActivitySource;
using tessaron::PowerStateObserver;
using tessaron::ReduceMotionObserver;
using Event = tessaron::HostActivitySource::Event;

namespace {

const QString loginService = QStringLiteral("org.freedesktop.login1");
const QString managerPath = QStringLiteral("/org/freedesktop/login1");
const QString sessionPath = QStringLiteral("/org/freedesktop/login1/session/_3");
const QString sessionInterface = QStringLiteral("org.freedesktop.login1.Session");

// The one logind method the source calls.
class FakeLoginManager final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    int sessionRequests = 0;

public Q_SLOTS:
    QDBusObjectPath GetSession(const QString& id) {
        ++sessionRequests;
        return QDBusObjectPath(id == QLatin1String("auto") ? sessionPath : QStringLiteral("/invalid"));
    }
};

QDBusMessage signal(const QString& path, const QString& interface, const QString& name,
                    QVariantList args = {}) {
    auto message = QDBusMessage::createSignal(path, interface, name);
    message.setArguments(args);
    return message;
}

QDBusMessage prepareForSleep(bool start) {
    return signal(managerPath, QStringLiteral("org.freedesktop.login1.Manager"),
                  QStringLiteral("PrepareForSleep"), {start});
}

QDBusMessage sessionSignal(const char* name) {
    return signal(sessionPath, sessionInterface, QString::fromLatin1(name));
}

QDBusMessage sessionProperties(const QString& interface, const QVariantMap& changed) {
    return signal(sessionPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                  QStringLiteral("PropertiesChanged"), {interface, changed, QStringList{}});
}

QDBusMessage screenSaver(const char* service, bool active) {
    const auto name = QString::fromLatin1(service);
    const auto path = QLatin1Char('/') + QString(name).replace(QLatin1Char('.'), QLatin1Char('/'));
    return signal(path, name, QStringLiteral("ActiveChanged"), {active});
}

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

QDBusMessage powerProfile(const QString& profile) {
    return signal(powerPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                  QStringLiteral("PropertiesChanged"),
                  {QStringLiteral("net.hadess.PowerProfiles"),
                   QVariantMap{{QStringLiteral("ActiveProfile"), profile}}, QStringList{}});
}

QDBusMessage animationSetting(const QVariant& enabled) {
    return signal(portalPath, QStringLiteral("org.freedesktop.portal.Settings"),
                  QStringLiteral("SettingChanged"),
                  {QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("enable-animations"),
                   QVariant::fromValue(QDBusVariant(enabled))});
}

// Services on a bus connection of their own, as other processes would be.
class FakeHostServices {
public:
    FakeHostServices(const QString& connectionName, const QStringList& services)
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName))
        , name_(connectionName) {
        for (const auto& service : services)
            EXPECT_TRUE(bus_.registerService(service)) << service.toStdString();
        // Objects answer only through the names their connection owns.
        EXPECT_TRUE(bus_.registerObject(managerPath, &manager, QDBusConnection::ExportAllSlots));
        EXPECT_TRUE(bus_.registerObject(powerPath, &power, QDBusConnection::ExportAllProperties));
        EXPECT_TRUE(bus_.registerObject(portalPath, &portal, QDBusConnection::ExportAllSlots));
    }
    ~FakeHostServices() { QDBusConnection::disconnectFromBus(name_); }

    bool send(const QDBusMessage& message) { return bus_.send(message); }

    // Returns once the bus has routed everything sent so far: the bus handles one connection's messages
    // in order, so its answer to a call comes after it passed on the earlier signals.
    void flush() {
        const auto reply = bus_.call(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    }

    FakeLoginManager manager;
    FakePowerProfiles power;
    FakePortalSettings portal;

private:
    QDBusConnection bus_;
    QString name_;
};

// The events with the copies of repeated signals folded together.
std::vector<Event> folded(const std::vector<Event>& events) {
    std::vector<Event> result;
    std::ranges::unique_copy(events, std::back_inserter(result));
    return result;
}

} // namespace

// Only the owner of a service is heard, also one that appears after the source was made, and an ended
// observation hears nothing more.
TEST(HostActivityDbusTest, TurnsTheOwnersSignalsIntoEventsForTheObservationsStillOpen) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run inside dbus-run-session";
    FakeHostServices services(QStringLiteral("fake-host"),
                              {loginService, QStringLiteral("org.gnome.ScreenSaver")});
    FakeHostServices impostor(QStringLiteral("impostor"), {});
    // logind is looked for on the private bus too: only one bus is at hand.
    LinuxHostActivitySource source(QDBusConnection::sessionBus(), QDBusConnection::sessionBus());
    std::vector<Event> events;
    const auto observation = source.observe([&events](Event event) { events.push_back(event); });
    // A subscription reaches the bus a little after it is made, so the first signal of a kind is repeated
    // until one arrives: the test waits for delivery, never for a guessed time. The copies that arrive
    // later come before the sender's next signal, which the bus keeps in order.
    const auto sendUntilSeen = [&events](FakeHostServices& sender, const QDBusMessage& message,
                                         Event expected) {
        return QTest::qWaitFor(
            [&] {
                if (!events.empty() && events.back() == expected)
                    return true;
                sender.send(message);
                return false;
            },
            5000);
    };
    FakeHostServices late(QStringLiteral("late-host"), {QStringLiteral("org.freedesktop.ScreenSaver")});
    std::vector<Event> ended;
    auto endedObservation = source.observe([&ended](Event event) { ended.push_back(event); });
    const std::tuple<FakeHostServices*, QDBusMessage, Event> signals[] = {
        {&services, prepareForSleep(true), Event::systemWillSleep},
        {&services, prepareForSleep(false), Event::systemDidWake},
        {&services, sessionSignal("Lock"), Event::screenLocked},
        {&services, sessionSignal("Unlock"), Event::screenUnlocked},
        {&services, sessionProperties(sessionInterface, {{"Active", false}}), Event::sessionResignedActive},
        {&services, sessionProperties(sessionInterface, {{"Active", true}}), Event::sessionBecameActive},
        {&services, screenSaver("org.gnome.ScreenSaver", true), Event::screensDidSleep},
        {&services, screenSaver("org.gnome.ScreenSaver", false), Event::screensDidWake},
        {&late, screenSaver("org.freedesktop.ScreenSaver", true), Event::screensDidSleep},
        {&late, screenSaver("org.freedesktop.ScreenSaver", false), Event::screensDidWake},
    };
    std::vector<Event> expected;
    for (const auto& [sender, message, event] : signals) {
        // Changes of other properties, or of another interface's, say nothing about activity.
        services.send(sessionProperties(sessionInterface, {{"IdleHint", true}}));
        services.send(sessionProperties(QStringLiteral("org.example.Other"), {{"Active", true}}));
        services.send(sessionProperties(sessionInterface, {{"Active", QStringLiteral("yes")}}));
        ASSERT_TRUE(sendUntilSeen(*sender, message, event)) << int(event);
        sender->flush(); // the repeated copies arrive before the next sender's signal
        expected.push_back(event);
    }
    EXPECT_EQ(services.manager.sessionRequests, 1);
    EXPECT_EQ(folded(ended), expected);
    endedObservation.reset();

    impostor.send(prepareForSleep(true));
    impostor.send(sessionSignal("Lock"));
    impostor.send(screenSaver("org.gnome.ScreenSaver", true));
    impostor.flush();
    // Sent after the bus passed on the impostor's signals, so these would arrive first.
    ASSERT_TRUE(sendUntilSeen(services, sessionProperties(sessionInterface, {{"Active", false}}),
                              Event::sessionResignedActive));
    expected.push_back(Event::sessionResignedActive);
    EXPECT_EQ(folded(events), expected);
    EXPECT_EQ(folded(ended).size(), expected.size() - 1);
}

TEST(DesktopSettingsTest, FollowsThePowerSaverProfileAndTheAnimationSettingNormalWithoutThem) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run inside dbus-run-session";
    {
        PowerStateObserver power(QDBusConnection::sessionBus());
        ReduceMotionObserver motion(QDBusConnection::sessionBus());
        QTest::qWait(200);
        EXPECT_FALSE(power.lowPower() || motion.reduceMotion()) << "without the services";
    }
    FakeHostServices desktop(
        QStringLiteral("fake-desktop"),
        {QStringLiteral("net.hadess.PowerProfiles"), QStringLiteral("org.freedesktop.portal.Desktop")});
    PowerStateObserver power(QDBusConnection::sessionBus());
    ReduceMotionObserver motion(QDBusConnection::sessionBus());
    EXPECT_TRUE(QTest::qWaitFor([&] { return power.lowPower() && motion.reduceMotion(); }, 5000)) << "read";
    // A subscription reaches the bus a little after it is made: repeat each change until it arrives.
    const auto changeUntil = [&](const QString& profile, const QVariant& animations, bool low, bool reduce) {
        return QTest::qWaitFor(
            [&] {
                desktop.send(powerProfile(profile));
                desktop.send(animationSetting(animations));
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

#include "desktop_dbus_test.moc"
