#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace tessaron {

// A store of typed values under text keys, as the standard user defaults and the application group's
// suite. A value keeps its type across a restart: a text "false" never reads as a Boolean.
//
// Stored types: bool, qint64 (any integer), double, QString, QByteArray, QDateTime, and QVariantList /
// QVariantMap whose elements are stored types themselves.
class Preferences {
public:
    enum class Type { none, boolean, integer, number, text, data, date, array, dictionary };

    // The application group shared with the tunnel.
    static inline const QString applicationGroup = QStringLiteral("group.com.hallmere.tessaron");

    virtual ~Preferences() = default;

    // An invalid QVariant when the key is absent.
    virtual QVariant value(const QString& key) const = 0;
    virtual void remove(const QString& key) = 0;
    virtual QStringList keys() const = 0;

    // Throws std::invalid_argument for a value of a type that cannot be stored; an invalid QVariant
    // removes the key.
    void setValue(const QString& key, const QVariant& value);

    Type type(const QString& key) const;
    // Each typed read answers only when the stored value has that type; number() also reads integers.
    std::optional<bool> boolean(const QString& key) const;
    std::optional<qint64> integer(const QString& key) const;
    std::optional<double> number(const QString& key) const;
    std::optional<QString> text(const QString& key) const;
    std::optional<QByteArray> data(const QString& key) const;
    std::optional<QDateTime> date(const QString& key) const;
    std::optional<QVariantList> array(const QString& key) const;
    std::optional<QVariantMap> dictionary(const QString& key) const;

    // The type a QVariant is stored as; `none` for anything that cannot be stored.
    static Type typeOf(const QVariant& value);
    // The value in the form it is stored in (all integers as qint64, dates in UTC), or an invalid QVariant
    // when it cannot be stored.
    static QVariant normalized(const QVariant& value);

protected:
    virtual void store(const QString& key, const QVariant& normalizedValue) = 0;
};

} // namespace tessaron
