#pragma once

#include <QString>
#include <QStringView>

namespace tessaron {

// What stands in the connection log where personal data was.
inline const QString redactionMark = QStringLiteral("\u2039redacted\u203A");

// Replaces e-mail addresses, then IPv4 addresses, then base64-like runs (tokens, invitation codes, keys)
// with the redaction mark. Only ASCII can match, so any other text passes through untouched.
QString redactPersonalData(QStringView text);

// The single passes, in the order redactPersonalData applies them.

// local@domain.tld: a local part of [A-Za-z0-9._%+-], a domain of at least two dot-joined labels of
// [A-Za-z0-9-].
QString redactEmailAddresses(QStringView text);
// Four dot-joined groups of one to three digits that are not part of a longer dotted digit sequence; a
// trailing ":port" stays, as does a full stop that ends a sentence.
QString redactIPv4Addresses(QStringView text);
// Runs of 24 or more of [A-Za-z0-9+/_-] with up to two "=" of padding.
QString redactBase64Runs(QStringView text);

} // namespace tessaron
