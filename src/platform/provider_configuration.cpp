#include "platform/provider_configuration.hpp"

#include <QLocale>

#include <cmath>
#include <limits>

namespace tessaron {

namespace {

const QString typeField = QStringLiteral("type");
const QString valueField = QStringLiteral("value");

constexpr std::pair<ProviderValue::Type, const char*> typeNames[] = {
    {ProviderValue::Type::integer, "integer"}, {ProviderValue::Type::number, "number"},
    {ProviderValue::Type::text, "text"},       {ProviderValue::Type::boolean, "boolean"},
    {ProviderValue::Type::data, "data"},
};

QString nameOf(ProviderValue::Type type) {
    for (const auto& [candidate, name] : typeNames) {
        if (candidate == type)
            return QString::fromLatin1(name);
    }
    Q_UNREACHABLE();
}

std::optional<ProviderValue::Type> typeNamed(const QString& name) {
    for (const auto& [type, candidate] : typeNames) {
        if (name == QLatin1String(candidate))
            return type;
    }
    return std::nullopt;
}

QString numberText(const ProviderNumber& number) {
    if (number.isWhole())
        return QString::number(number.integerValue());
    return QString::number(number.doubleValue(), 'g', QLocale::FloatingPointShortest);
}

// Whole numbers come back whole, so an integer survives a round trip through text exactly.
std::optional<ProviderNumber> numberFromText(const QString& text) {
    bool ok = false;
    if (const auto whole = text.toLongLong(&ok); ok)
        return ProviderNumber(whole);
    if (const auto fraction = text.toDouble(&ok); ok)
        return ProviderNumber(fraction);
    return std::nullopt;
}

QJsonValue encodeContent(const ProviderValue& value) {
    switch (value.type()) {
    case ProviderValue::Type::integer:
        return QString::number(*value.integerValue());
    case ProviderValue::Type::number:
        return numberText(*value.numberValue());
    case ProviderValue::Type::text:
        return *value.textValue();
    case ProviderValue::Type::boolean:
        return *value.booleanValue();
    case ProviderValue::Type::data:
        return QString::fromLatin1(value.dataValue()->toBase64());
    }
    Q_UNREACHABLE();
}

std::optional<ProviderValue> decodeValue(const QJsonValue& stored) {
    const auto object = stored.toObject();
    const auto type = typeNamed(object.value(typeField).toString());
    const auto content = object.value(valueField);
    if (!type)
        return std::nullopt;
    switch (*type) {
    case ProviderValue::Type::integer: {
        bool ok = false;
        const auto whole = content.toString().toLongLong(&ok);
        return ok ? std::optional(ProviderValue::integer(whole)) : std::nullopt;
    }
    case ProviderValue::Type::number: {
        const auto number = numberFromText(content.toString());
        return number ? std::optional(ProviderValue::number(*number)) : std::nullopt;
    }
    case ProviderValue::Type::text:
        return content.isString() ? std::optional(ProviderValue::text(content.toString())) : std::nullopt;
    case ProviderValue::Type::boolean:
        return content.isBool() ? std::optional(ProviderValue::boolean(content.toBool())) : std::nullopt;
    case ProviderValue::Type::data: {
        auto bytes = QByteArray::fromBase64Encoding(content.toString().toLatin1(),
                                                    QByteArray::AbortOnBase64DecodingErrors);
        return content.isString() && bytes ? std::optional(ProviderValue::data(*bytes)) : std::nullopt;
    }
    }
    return std::nullopt;
}

} // namespace

qint64 ProviderNumber::integerValue() const {
    if (const auto* whole = std::get_if<qint64>(&value_))
        return *whole;
    const auto fraction = std::get<double>(value_);
    if (std::isnan(fraction))
        return 0;
    // 2^63 is exactly representable; everything at or beyond it is held to the largest qint64.
    constexpr double limit = 9223372036854775808.0;
    if (fraction >= limit)
        return std::numeric_limits<qint64>::max();
    if (fraction < -limit)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(std::trunc(fraction));
}

double ProviderNumber::doubleValue() const {
    if (const auto* whole = std::get_if<qint64>(&value_))
        return static_cast<double>(*whole);
    return std::get<double>(value_);
}

ProviderConfiguration asReloaded(const ProviderConfiguration& configuration) {
    ProviderConfiguration reloaded;
    for (auto it = configuration.begin(); it != configuration.end(); ++it) {
        const auto integer = it.value().integerValue();
        reloaded.insert(it.key(), integer ? ProviderValue::number(ProviderNumber(*integer)) : it.value());
    }
    return reloaded;
}

QJsonObject toJson(const ProviderConfiguration& configuration) {
    QJsonObject object;
    for (auto it = configuration.begin(); it != configuration.end(); ++it)
        object.insert(it.key(), QJsonObject{{typeField, nameOf(it.value().type())},
                                            {valueField, encodeContent(it.value())}});
    return object;
}

std::optional<ProviderConfiguration> providerConfigurationFromJson(const QJsonObject& object) {
    ProviderConfiguration configuration;
    for (auto it = object.begin(); it != object.end(); ++it) {
        auto value = decodeValue(it.value());
        if (!value)
            return std::nullopt;
        configuration.insert(it.key(), *value);
    }
    return configuration;
}

} // namespace tessaron
