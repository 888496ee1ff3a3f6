#include "account_screens/link_captions.hpp"

#include <unicode/datefmt.h>
#include <unicode/reldatefmt.h>
#include <unicode/timezone.h>

#include <QCoreApplication>
#include <QTimeZone>

#include <array>
#include <cmath>
#include <memory>

namespace tessaron {
namespace {

icu::Locale icuLocale(const QLocale& locale) {
    return icu::Locale(locale.name().toUtf8().constData());
}

QString fromIcu(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

} // namespace

QString mediumDate(const QDateTime& date, const QLocale& locale) {
    std::unique_ptr<icu::DateFormat> format(
        icu::DateFormat::createDateInstance(icu::DateFormat::kMedium, icuLocale(locale)));
    if (!format)
        return locale.toString(date.date(), QLocale::ShortFormat);
    const QByteArray zone = QTimeZone::systemTimeZoneId();
    format->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone.constData())));
    icu::UnicodeString text;
    format->format(static_cast<UDate>(date.toMSecsSinceEpoch()), text);
    return fromIcu(text);
}

QString relativeTime(const QDateTime& date, const QDateTime& now, const QLocale& locale) {
    struct Unit {
        qint64 seconds;
        URelativeDateTimeUnit unit;
    };
    // The largest unit that the distance fills at least once.
    static constexpr std::array units{
        Unit{365 * 86400, UDAT_REL_UNIT_YEAR}, Unit{30 * 86400, UDAT_REL_UNIT_MONTH},
        Unit{7 * 86400, UDAT_REL_UNIT_WEEK},   Unit{86400, UDAT_REL_UNIT_DAY},
        Unit{3600, UDAT_REL_UNIT_HOUR},        Unit{60, UDAT_REL_UNIT_MINUTE},
        Unit{1, UDAT_REL_UNIT_SECOND},
    };
    const qint64 distance = now.secsTo(date);
    Unit chosen = units.back();
    for (const Unit& unit : units) {
        if (std::llabs(distance) >= unit.seconds) {
            chosen = unit;
            break;
        }
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::RelativeDateTimeFormatter formatter(icuLocale(locale), nullptr, UDAT_STYLE_LONG,
                                             UDISPCTX_CAPITALIZATION_NONE, status);
    if (U_FAILURE(status))
        return locale.toString(date, QLocale::ShortFormat);
    const double amount = std::trunc(static_cast<double>(distance) / static_cast<double>(chosen.seconds));
    icu::UnicodeString text;
    formatter.format(amount, chosen.unit, text, status);
    if (U_FAILURE(status))
        return locale.toString(date, QLocale::ShortFormat);
    return fromIcu(text);
}

QStringList linkCaptions(const std::optional<TessaronSubscriptionLinkStatus>& status, const QDateTime& now,
                         const QLocale& locale) {
    QStringList captions;
    if (status && status->createdAt)
        captions.append(
            QCoreApplication::translate("Tessaron", "Created %@",
                                        "Caption under the QR: when this link was created; %@ is a date.")
                .replace(QStringLiteral("%@"), mediumDate(*status->createdAt, locale)));
    if (status && status->lastFetchedAt)
        captions.append(
            QCoreApplication::translate(
                "Tessaron", "Last used %@",
                "Caption under the QR: when a device last fetched this link; %@ is a relative time.")
                .replace(QStringLiteral("%@"), relativeTime(*status->lastFetchedAt, now, locale)));
    else
        captions.append(QCoreApplication::translate("Tessaron", "Not used yet"));
    return captions;
}

} // namespace tessaron
