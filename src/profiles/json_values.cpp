#include "profiles/json_values.hpp"

#include <QRegularExpression>
#include <QVariant>

#include <cmath>

namespace tessaron {

std::optional<qint64> integralValue(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    // Qt keeps integers that fit 64 bits exactly; anything else arrives as a double.
    const QVariant stored = value.toVariant();
    if (stored.typeId() == QMetaType::LongLong)
        return stored.toLongLong();
    const double number = value.toDouble();
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!std::isfinite(number) || std::trunc(number) != number || number < -limit || number >= limit)
        return std::nullopt;
    return static_cast<qint64>(number);
}

std::optional<QUuid> uuidFromText(QStringView text) {
    // At exactly the bare length QUuid takes neither braces nor trailing text, and checks every hyphen.
    constexpr qsizetype bareLength = 36;
    if (text.size() != bareLength)
        return std::nullopt;
    const QUuid uuid = QUuid::fromString(text);
    // QUuid reads a failure as the nil UUID, which is also valid text of its own.
    if (uuid.isNull() && text != u"00000000-0000-0000-0000-000000000000")
        return std::nullopt;
    return uuid;
}

QString uuidText(const QUuid& uuid) {
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QDateTime> dateFromText(const QString& text) {
    // Qt also reads a bare date, a space for the "T", a comma before the fraction, "+0100", "+01", a
    // missing zone and "24:00:00"; none of those is the record's date form.
    static const QRegularExpression form(QStringLiteral(
        R"(^\d{4}-\d\d-\d\d[Tt]([01]\d|2[0-3]):[0-5]\d:[0-5]\d(\.\d+)?([Zz]|[+-]\d\d:\d\d)$)"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    const QDateTime date = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QString dateText(const QDateTime& date) {
    return date.toUTC().toString(Qt::ISODateWithMs);
}

} // namespace tessaron
