#pragma once

#include <QByteArray>
#include <QDBusVirtualObject>
#include <QMap>
#include <QString>

namespace tessaron::testing {

// Starts a D-Bus daemon of its own for the rest of the process and makes it the session bus. Call it
// before anything in the process has touched the session bus: GLib keeps its first connection for good.
// The daemon ends with the process. Returns the bus's address, empty when it did not start.
QString startPrivateSessionBus();

// A Secret Service that keeps its items locked until an unlock is answered at its prompt, as a keyring
// whose password is asked for would. It speaks as much of the protocol as libsecret needs to list a
// collection: a plain session, searches, unlocks through a prompt object, secrets and item attributes.
// Its answers come from the event loop of the thread it lives on.
class SecretServiceStandIn final : public QDBusVirtualObject {
public:
    // What the person at the prompt does.
    enum class PromptAnswer { unlock, dismiss };

    explicit SecretServiceStandIn(PromptAnswer answer);

    // Owns the service's name on the bus at `address`; false when the bus refused.
    bool serve(const QString& address);

    // A locked item with these attributes. libsecret adds its schema's name to every search; the stand-in
    // keeps one schema's items and lets that attribute match them all.
    void addItem(const QMap<QString, QString>& attributes, const QByteArray& secret);
    // Locks every item again, as the desktop does when the screen locks.
    void lockAll();
    int promptsShown() const { return promptsShown_; }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    struct Item {
        QMap<QString, QString> attributes;
        QByteArray secret;
        bool locked = true;
    };

    QDBusMessage openSession(const QDBusMessage& message) const;
    QDBusMessage searchItems(const QDBusMessage& message) const;
    QDBusMessage unlock(const QDBusMessage& message);
    QDBusMessage secrets(const QDBusMessage& message) const;
    QDBusMessage attributes(const QDBusMessage& message) const;
    void prompt(const QDBusMessage& message, const QDBusConnection& connection);

    PromptAnswer answer_;
    QMap<QString, Item> items_;                 // by object path
    QMap<QString, QStringList> pendingUnlocks_; // the objects each prompt would unlock, by its path
    int promptsMade_ = 0;
    int promptsShown_ = 0;
};

} // namespace tessaron::testing
