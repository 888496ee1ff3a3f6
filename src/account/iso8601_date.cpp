#include "account/iso8601_date.hpp"

#include <QRegularExpression>

namespace tessaron {

std::optional<QDateTime> parseInternetDateTime(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral(R"(^([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})(?:\.([0-9]+))?)"
                       R"((?:(Z)|([+-])([0-9]{2}):([0-9]{2}))$)"));
    const auto match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const auto number = [&match](int group) {
        return match.capturedView(group).toInt();
    };

    const QDate date(number(1), number(2), number(3));
    // Sub-millisecond digits are cut, not rounded, so a stamp never moves into the next second.
    const int milliseconds = match.capturedView(7).left(3).toString().leftJustified(3, u'0').toInt();
    const QTime time(number(4), number(5), number(6), milliseconds);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;

    int offsetSeconds = 0;
    if (!match.hasCaptured(8)) {
        const int hours = number(10);
        const int minutes = number(11);
        if (hours > 23 || minutes > 59)
            return std::nullopt;
        offsetSeconds = (hours * 3600 + minutes * 60) * (match.capturedView(9) == u"-" ? -1 : 1);
    }
    return QDateTime(date, time, Qt::UTC).addSecs(-offsetSeconds);
}

QString formatInternetDateTime(const QDateTime& instant) {
    const auto utc = instant.toUTC();
    return utc.toString(utc.time().msec() == 0 ? Qt::ISODate : Qt::ISODateWithMs);
}

} // namespace tessaron
