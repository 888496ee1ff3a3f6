#include "platform/preferences.hpp"

#include <stdexcept>

namespace tessaron {

Preferences::Type Preferences::typeOf(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return Type::boolean;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short:
        return Type::integer;
    case QMetaType::ULongLong:
    case QMetaType::ULong:
        return value.toULongLong() <= quint64(std::numeric_limits<qint64>::max()) ? Type::integer
                                                                                  : Type::none;
    case QMetaType::Double:
    case QMetaType::Float:
        return Type::number;
    case QMetaType::QString:
        return Type::text;
    case QMetaType::QByteArray:
        return Type::data;
    case QMetaType::QDateTime:
        return value.toDateTime().isValid() ? Type::date : Type::none;
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        return Type::array;
    case QMetaType::QVariantMap:
        return Type::dictionary;
    default:
        return Type::none;
    }
}

QVariant Preferences::normalized(const QVariant& value) {
    switch (typeOf(value)) {
    case Type::none:
        return {};
    case Type::integer:
        return QVariant::fromValue(value.toLongLong());
    case Type::number:
        return QVariant::fromValue(value.toDouble());
    case Type::date:
        return value.toDateTime().toUTC();
    case Type::array: {
        QVariantList elements;
        for (const auto& element : value.toList()) {
            auto stored = normalized(element);
            if (!stored.isValid())
                return {};
            elements.append(stored);
        }
        return elements;
    }
    case Type::dictionary: {
        QVariantMap entries;
        const auto map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it) {
            auto stored = normalized(it.value());
            if (!stored.isValid())
                return {};
            entries.insert(it.key(), stored);
        }
        return entries;
    }
    default:
        return value;
    }
}

void Preferences::setValue(const QString& key, const QVariant& value) {
    if (!value.isValid()) {
        remove(key);
        return;
    }
    auto stored = normalized(value);
    if (!stored.isValid())
        throw std::invalid_argument("a preference value of this type cannot be stored");
    store(key, stored);
}

Preferences::Type Preferences::type(const QString& key) const {
    return typeOf(value(key));
}

namespace {
template <typename T>
std::optional<T> read(const Preferences& preferences, const QString& key, Preferences::Type wanted) {
    const auto stored = preferences.value(key);
    if (Preferences::typeOf(stored) != wanted)
        return std::nullopt;
    return stored.value<T>();
}
} // namespace

std::optional<bool> Preferences::boolean(const QString& key) const {
    return read<bool>(*this, key, Type::boolean);
}

std::optional<qint64> Preferences::integer(const QString& key) const {
    return read<qint64>(*this, key, Type::integer);
}

std::optional<double> Preferences::number(const QString& key) const {
    if (auto whole = integer(key))
        return double(*whole);
    return read<double>(*this, key, Type::number);
}

std::optional<QString> Preferences::text(const QString& key) const {
    return read<QString>(*this, key, Type::text);
}

std::optional<QByteArray> Preferences::data(const QString& key) const {
    return read<QByteArray>(*this, key, Type::data);
}

std::optional<QDateTime> Preferences::date(const QString& key) const {
    return read<QDateTime>(*this, key, Type::date);
}

std::optional<QVariantList> Preferences::array(const QString& key) const {
    return read<QVariantList>(*this, key, Type::array);
}

std::optional<QVariantMap> Preferences::dictionary(const QString& key) const {
    return read<QVariantMap>(*this, key, Type::dictionary);
}

} // namespace tessaron
