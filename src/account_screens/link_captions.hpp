#pragma once

#include "account/reply_records.hpp"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

namespace tessaron {

// A date as "Mar 5, 2025": the locale's medium date style, no time.
QString mediumDate(const QDateTime& date, const QLocale& locale = QLocale());
// How long ago `date` was, in words: "yesterday", "3 hours ago".
QString relativeTime(const QDateTime& date, const QDateTime& now, const QLocale& locale = QLocale());

// The captions under a shown link, top to bottom.
QStringList linkCaptions(const std::optional<TessaronSubscriptionLinkStatus>& status, const QDateTime& now,
                         const QLocale& locale = QLocale());

} // namespace tessaron
