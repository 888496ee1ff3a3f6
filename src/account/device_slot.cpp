#include "account/device_slot.hpp"

#include "profiles/json_values.hpp"

#include <QCoreApplication>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <memory>

namespace tessaron {

namespace {

std::optional<QString> trimmedName(const QJsonValue& value) {
    if (!value.isString())
        return std::nullopt;
    const auto name = value.toString().trimmed();
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

std::optional<QDateTime> swapDate(const QJsonValue& value) {
    if (!value.isString())
        return std::nullopt;
    return dateFromText(value.toString());
}

// Medium date with short time ("Mar 5, 2026, 2:30 PM" in American English) in the given locale and zone.
// Qt's own formats have no abbreviated-month date, so this goes through ICU.
QString abbreviatedDateTime(const QDateTime& instant, const QLocale& locale, const QTimeZone& zone) {
    std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kMedium, icu::DateFormat::kShort, icu::Locale(locale.name().toUtf8().constData())));
    if (!format)
        return locale.toString(instant.toTimeZone(zone), QLocale::ShortFormat);
    format->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone.id().constData())));
    icu::UnicodeString text;
    format->format(static_cast<UDate>(instant.toMSecsSinceEpoch()), text);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

} // namespace

std::optional<TessaronDeviceSlotError>
TessaronDeviceSlotError::fromReply(int status, const std::optional<QJsonObject>& body) {
    if (status != 409 || !body || body->isEmpty())
        return std::nullopt;
    const auto error = body->value(QStringLiteral("error"));
    if (!error.isString())
        return std::nullopt;
    const auto slot = body->value(QStringLiteral("slot")) == QJsonValue(QStringLiteral("computer"))
                          ? TessaronDeviceSlot::computer
                          : TessaronDeviceSlot::phone;
    if (error.toString() == QStringLiteral("device_slot_taken"))
        return Taken{slot, trimmedName(body->value(QStringLiteral("deviceName")))};
    if (error.toString() == QStringLiteral("device_slot_locked"))
        return Locked{slot, swapDate(body->value(QStringLiteral("nextSwapAt")))};
    return std::nullopt;
}

QString TessaronDeviceSlotError::cooldownText(TessaronDeviceSlot slot,
                                              const std::optional<QDateTime>& nextSwapAt,
                                              const QLocale& locale, const QTimeZone& zone) {
    const bool computer = slot == TessaronDeviceSlot::computer;
    if (!nextSwapAt) {
        return QCoreApplication::translate(
            "TessaronDeviceSlotError",
            computer
                ? QT_TRANSLATE_NOOP("TessaronDeviceSlotError", "Tessaron is set up on another Mac. You can "
                                                               "switch devices once every 30 days.")
                : QT_TRANSLATE_NOOP("TessaronDeviceSlotError",
                                    "Tessaron is set up on another iPhone or iPad. "
                                    "You can switch devices once every 30 days."));
    }
    return QCoreApplication::translate(
               "TessaronDeviceSlotError",
               computer
                   ? QT_TRANSLATE_NOOP("TessaronDeviceSlotError",
                                       "Tessaron is set up on another Mac. You can switch devices once every "
                                       "30 days. Next switch: %1.")
                   : QT_TRANSLATE_NOOP("TessaronDeviceSlotError",
                                       "Tessaron is set up on another iPhone or iPad. You can switch devices "
                                       "once every 30 days. Next switch: %1."))
        .arg(abbreviatedDateTime(*nextSwapAt, locale, zone));
}

TessaronDeviceSlot TessaronDeviceSlotError::slot() const {
    return std::visit([](const auto& value) { return value.slot; }, value_);
}

} // namespace tessaron
