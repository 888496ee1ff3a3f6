#pragma once

#include <QString>
#include <QStringView>

namespace tessaron {

// What stands in the connection log where personal data was.
inline const QString redactionMark = QStringLiteral("\u2039redacted\u203A");

// Replaces e-mail addresses, then IPv6 and IPv4 addresses, then base64-like runs (tokens, invitation codes,
// keys) with the redaction mark. Only ASCII can match, so any other text passes through untouched. The
// result is final: redacting it again changes nothing.
QString redactPersonalData(QStringView text);

// The single passes, in the order redactPersonalData applies them.

// local@domain.tld: a local part of [A-Za-z0-9._%+-], a domain of at least two dot-joined labels of
// [A-Za-z0-9-].
QString redactEmailAddresses(QStringView text);
// An IPv6 address written with hex digits, colons and dots (an embedded IPv4 tail), with or without
// brackets, a ":port" after it or a word joined on with a colon; brackets, port and word stay.
QString redactIPv6Addresses(QStringView text);
// Four dot-joined groups of one to three digits, whatever follows, unless a digit group and a dot precede
// them or a dot and a group that could be a fifth octet follow them (a longer dotted run such as a
// version). A trailing ":port" stays, as does a full stop that ends a sentence.
QString redactIPv4Addresses(QStringView text);
// Runs of 24 or more of [A-Za-z0-9+/_-] with up to two "=" of padding.
QString redactBase64Runs(QStringView text);

} // namespace tessaron
