#include "support/secret_service_stand_in.hpp"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>

#include <sys/prctl.h>

#include <csignal>
#include <cstdlib>

namespace tessaron::testing {

namespace {

const QString serviceName = QStringLiteral("org.freedesktop.secrets");
const QString servicePath = QStringLiteral("/org/freedesktop/secrets");
const QString promptInterface = QStringLiteral("org.freedesktop.Secret.Prompt");
const QString schemaAttribute = QStringLiteral("xdg:schema");

using Paths = QList<QDBusObjectPath>;
using Attributes = QMap<QString, QString>;

// A secret as the protocol carries it, (oayays): the session it is encoded for, the encoding's parameters
// (none in a plain session), the bytes and their content type.
struct WireSecret {
    QDBusObjectPath session;
    QByteArray parameters;
    QByteArray value;
    QString contentType;
};
using WireSecrets = QMap<QDBusObjectPath, WireSecret>;

QDBusArgument& operator<<(QDBusArgument& argument, const WireSecret& secret) {
    argument.beginStructure();
    argument << secret.session << secret.parameters << secret.value << secret.contentType;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, WireSecret& secret) {
    argument.beginStructure();
    argument >> secret.session >> secret.parameters >> secret.value >> secret.contentType;
    argument.endStructure();
    return argument;
}

template <typename T> T argumentOf(const QDBusMessage& message, int index) {
    return qdbus_cast<T>(message.arguments().value(index));
}

bool matches(const Attributes& item, const Attributes& query) {
    for (auto wanted = query.begin(); wanted != query.end(); ++wanted) {
        if (wanted.key() != schemaAttribute && item.value(wanted.key()) != wanted.value())
            return false;
    }
    return true;
}

} // namespace

QString startPrivateSessionBus() {
    static QProcess bus;
    bus.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!bus.waitForReadyRead(5000))
        return {};
    const auto address = QString::fromUtf8(bus.readLine()).trimmed();
    setenv("DBUS_SESSION_BUS_ADDRESS", qPrintable(address), 1);
    return address;
}

SecretServiceStandIn::SecretServiceStandIn(PromptAnswer answer)
    : answer_(answer) {
    qDBusRegisterMetaType<Attributes>();
    qDBusRegisterMetaType<WireSecret>();
    qDBusRegisterMetaType<WireSecrets>();
}

bool SecretServiceStandIn::serve(const QString& address) {
    auto connection = QDBusConnection::connectToBus(address, QStringLiteral("secret-service-stand-in"));
    return connection.registerService(serviceName) &&
           connection.registerVirtualObject(QStringLiteral("/"), this, QDBusConnection::SubPath);
}

void SecretServiceStandIn::addItem(const QMap<QString, QString>& attributes, const QByteArray& secret) {
    const auto path = QStringLiteral("%1/collection/login/%2").arg(servicePath).arg(items_.size() + 1);
    items_.insert(path, {attributes, secret});
}

void SecretServiceStandIn::lockAll() {
    for (auto& item : items_)
        item.locked = true;
}

QString SecretServiceStandIn::introspect(const QString&) const {
    return {};
}

bool SecretServiceStandIn::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const auto member = message.member();
    const auto path = message.path();
    if (pendingUnlocks_.contains(path) && member == QLatin1String("Prompt")) {
        prompt(message, connection);
        return true;
    }
    QDBusMessage reply;
    if (path == servicePath && member == QLatin1String("OpenSession"))
        reply = openSession(message);
    else if (path == servicePath && member == QLatin1String("SearchItems"))
        reply = searchItems(message);
    else if (path == servicePath && member == QLatin1String("Unlock"))
        reply = unlock(message);
    else if (path == servicePath && member == QLatin1String("GetSecrets"))
        reply = secrets(message);
    else if (items_.contains(path) && member == QLatin1String("Get"))
        reply = attributes(message);
    else
        reply = message.createErrorReply(QDBusError::UnknownMethod, member);
    return connection.send(reply);
}

// Only the plain session: libsecret falls back to it when the service does not support encryption.
QDBusMessage SecretServiceStandIn::openSession(const QDBusMessage& message) const {
    if (argumentOf<QString>(message, 0) != QLatin1String("plain"))
        return message.createErrorReply(QDBusError::NotSupported, QStringLiteral("plain sessions only"));
    return message.createReply(
        {QVariant::fromValue(QDBusVariant(QString())),
         QVariant::fromValue(QDBusObjectPath(servicePath + QStringLiteral("/session/1")))});
}

QDBusMessage SecretServiceStandIn::searchItems(const QDBusMessage& message) const {
    const auto query = argumentOf<Attributes>(message, 0);
    Paths unlocked, locked;
    for (auto item = items_.begin(); item != items_.end(); ++item) {
        if (matches(item->attributes, query))
            (item->locked ? locked : unlocked).append(QDBusObjectPath(item.key()));
    }
    return message.createReply({QVariant::fromValue(unlocked), QVariant::fromValue(locked)});
}

// What is open already is answered at once; the rest waits for a prompt.
QDBusMessage SecretServiceStandIn::unlock(const QDBusMessage& message) {
    Paths open;
    QStringList locked;
    for (const auto& object : argumentOf<Paths>(message, 0)) {
        if (items_.value(object.path()).locked)
            locked.append(object.path());
        else
            open.append(object);
    }
    auto prompt = QStringLiteral("/");
    if (!locked.isEmpty()) {
        prompt = QStringLiteral("%1/prompt/%2").arg(servicePath).arg(++promptsMade_);
        pendingUnlocks_.insert(prompt, locked);
    }
    return message.createReply({QVariant::fromValue(open), QVariant::fromValue(QDBusObjectPath(prompt))});
}

// The prompt answers its call at once and reports the person's answer afterwards, as a signal.
void SecretServiceStandIn::prompt(const QDBusMessage& message, const QDBusConnection& connection) {
    const auto objects = pendingUnlocks_.take(message.path());
    ++promptsShown_;
    connection.send(message.createReply());
    const bool dismissed = answer_ == PromptAnswer::dismiss;
    Paths unlocked;
    for (const auto& object : objects) {
        if (dismissed)
            continue;
        items_[object].locked = false;
        unlocked.append(QDBusObjectPath(object));
    }
    // A dismissed prompt's result has the type of an accepted one's: libsecret checks the type first.
    auto completed = QDBusMessage::createSignal(message.path(), promptInterface, QStringLiteral("Completed"));
    completed << dismissed << QVariant::fromValue(QDBusVariant(QVariant::fromValue(unlocked)));
    connection.send(completed);
}

// A locked item's secret is left out.
QDBusMessage SecretServiceStandIn::secrets(const QDBusMessage& message) const {
    const auto session = argumentOf<QDBusObjectPath>(message, 1);
    WireSecrets found;
    for (const auto& object : argumentOf<Paths>(message, 0)) {
        const auto item = items_.find(object.path());
        if (item != items_.end() && !item->locked)
            found.insert(object, {session, {}, item->secret, QStringLiteral("application/octet-stream")});
    }
    return message.createReply(QVariant::fromValue(found));
}

QDBusMessage SecretServiceStandIn::attributes(const QDBusMessage& message) const {
    if (argumentOf<QString>(message, 1) != QLatin1String("Attributes"))
        return message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("attributes only"));
    const auto attributes = items_.value(message.path()).attributes;
    return message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(attributes))));
}

} // namespace tessaron::testing
