#include "profiles/redaction.hpp"

#include <QHostAddress>

#include <optional>
#include <utility>

namespace tessaron {

namespace {

constexpr qsizetype minimumBase64Run = 24;
constexpr qsizetype maximumBase64Padding = 2;
constexpr qsizetype maximumOctetDigits = 3;
constexpr int octetCount = 4;
constexpr int largestOctet = 255;

bool isDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool isLetterOrDigit(QChar c) {
    const char16_t u = c.unicode();
    return isDigit(c) || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

bool isLocalPartChar(QChar c) {
    return isLetterOrDigit(c) || c == u'.' || c == u'_' || c == u'%' || c == u'+' || c == u'-';
}

bool isDomainChar(QChar c) {
    return isLetterOrDigit(c) || c == u'-';
}

bool isHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return isDigit(c) || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

bool isIPv6Char(QChar c) {
    return isHexDigit(c) || c == u':' || c == u'.';
}

bool isBase64Char(QChar c) {
    return isLetterOrDigit(c) || c == u'+' || c == u'/' || c == u'_' || c == u'-';
}

bool isAt(QStringView text, qsizetype index, bool (*test)(QChar)) {
    return index >= 0 && index < text.size() && test(text[index]);
}

bool isDotAt(QStringView text, qsizetype index) {
    return index >= 0 && index < text.size() && text[index] == u'.';
}

qsizetype skipWhile(QStringView text, qsizetype from, bool (*test)(QChar)) {
    while (from < text.size() && test(text[from]))
        ++from;
    return from;
}

// Copies the text around the redacted ranges into a new string.
class RedactedText {
public:
    explicit RedactedText(QStringView text)
        : text_(text) {}

    // Everything before `copied()` is settled; no match may start before it.
    qsizetype copied() const { return copied_; }

    void redact(qsizetype start, qsizetype end) {
        result_ += text_.mid(copied_, start - copied_);
        result_ += redactionMark;
        copied_ = end;
    }

    QString finish() && {
        if (copied_ == 0)
            return text_.toString();
        result_ += text_.mid(copied_);
        return std::move(result_);
    }

private:
    QStringView text_;
    QString result_;
    qsizetype copied_ = 0;
};

// The end of a domain of two or more labels starting at `from`, or -1. Labels are taken greedily, and a
// trailing dot without a label after it is not part of the domain.
qsizetype domainEnd(QStringView text, qsizetype from) {
    qsizetype end = skipWhile(text, from, isDomainChar);
    if (end == from)
        return -1;
    int labels = 1;
    while (isDotAt(text, end)) {
        const qsizetype labelEnd = skipWhile(text, end + 1, isDomainChar);
        if (labelEnd == end + 1)
            break;
        end = labelEnd;
        ++labels;
    }
    return labels >= 2 ? end : -1;
}

// The end of four dot-joined groups of one to three digits starting at `from`, or -1.
qsizetype dottedQuadEnd(QStringView text, qsizetype from) {
    qsizetype at = from;
    for (int octet = 0; octet < octetCount; ++octet) {
        if (octet > 0) {
            if (!isDotAt(text, at))
                return -1;
            ++at;
        }
        const qsizetype digitsStart = at;
        while (at - digitsStart < maximumOctetDigits && isAt(text, at, isDigit))
            ++at;
        if (at == digitsStart)
            return -1;
    }
    return at;
}

// A dotted quad is not an address when a digit group and a dot precede it: it sits inside a longer run.
bool followsDottedDigits(QStringView text, qsizetype start) {
    return isAt(text, start - 1, isDigit) || (isDotAt(text, start - 1) && isAt(text, start - 2, isDigit));
}

// Nor when a dot and a group that could be a fifth octet follow it, as in "1.2.3.4.5". A group that cannot
// ("10.0.0.1.443", a run of 24 zeros) leaves the address an address.
bool precedesAnotherOctet(QStringView text, qsizetype end) {
    if (!isDotAt(text, end))
        return false;
    const qsizetype groupEnd = skipWhile(text, end + 1, isDigit);
    const qsizetype digits = groupEnd - (end + 1);
    return digits >= 1 && digits <= maximumOctetDigits && text.mid(end + 1, digits).toInt() <= largestOctet;
}

bool isIPv6Address(QStringView candidate) {
    return candidate.count(u':') >= 2 &&
           QHostAddress(candidate.toString()).protocol() == QAbstractSocket::IPv6Protocol;
}

bool isWordChar(QChar c) {
    return isLetterOrDigit(c) || c == u'_';
}

// The address within the run of hex digits, colons and dots at [start, end), or none: the whole run when
// no word touches it ("Error::Fa" is no address), else the run without its last segment (a port after a
// full address) or without its first (a word joined on with a colon, "node:fe80::1"). A full stop that ends
// a sentence is not part of it.
std::optional<std::pair<qsizetype, qsizetype>> ipv6AddressIn(QStringView text, qsizetype start,
                                                             qsizetype end) {
    const bool boundedBefore = !isAt(text, start - 1, isWordChar);
    const bool boundedAfter = !isAt(text, end, isWordChar);
    while (end > start && text[end - 1] == u'.')
        --end;
    const QStringView run = text.sliced(start, end - start);
    if (run.count(u':') < 2)
        return std::nullopt;
    if (boundedBefore && boundedAfter && isIPv6Address(run))
        return std::pair(start, end);
    const qsizetype lastColon = start + run.lastIndexOf(u':');
    if (boundedBefore && isIPv6Address(text.sliced(start, lastColon - start)))
        return std::pair(start, lastColon);
    const qsizetype afterFirstColon = start + run.indexOf(u':') + 1;
    if (boundedAfter && isIPv6Address(text.sliced(afterFirstColon, end - afterFirstColon)))
        return std::pair(afterFirstColon, end);
    return std::nullopt;
}

} // namespace

QString redactEmailAddresses(QStringView text) {
    RedactedText result(text);
    for (qsizetype at = text.indexOf(u'@'); at >= 0; at = text.indexOf(u'@', at + 1)) {
        qsizetype start = at;
        while (start > result.copied() && isLocalPartChar(text[start - 1]))
            --start;
        if (start == at)
            continue;
        const qsizetype end = domainEnd(text, at + 1);
        if (end < 0)
            continue;
        result.redact(start, end);
        at = end - 1;
    }
    return std::move(result).finish();
}

QString redactIPv6Addresses(QStringView text) {
    RedactedText result(text);
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = skipWhile(text, start, isIPv6Char);
        if (end == start) {
            ++start;
            continue;
        }
        if (const auto address = ipv6AddressIn(text, start, end))
            result.redact(address->first, address->second);
        start = end;
    }
    return std::move(result).finish();
}

QString redactIPv4Addresses(QStringView text) {
    RedactedText result(text);
    for (qsizetype start = 0; start < text.size(); ++start) {
        if (!isDigit(text[start]) || followsDottedDigits(text, start))
            continue;
        const qsizetype end = dottedQuadEnd(text, start);
        if (end < 0 || isAt(text, end, isDigit) || precedesAnotherOctet(text, end))
            continue;
        result.redact(start, end);
        start = end - 1;
    }
    return std::move(result).finish();
}

QString redactBase64Runs(QStringView text) {
    RedactedText result(text);
    qsizetype start = 0;
    while (start < text.size()) {
        if (!isBase64Char(text[start])) {
            ++start;
            continue;
        }
        const qsizetype end = skipWhile(text, start, isBase64Char);
        if (end - start < minimumBase64Run) {
            start = end;
            continue;
        }
        qsizetype padded = end;
        while (padded - end < maximumBase64Padding && padded < text.size() && text[padded] == u'=')
            ++padded;
        result.redact(start, padded);
        start = padded;
    }
    return std::move(result).finish();
}

QString redactPersonalData(QStringView text) {
    const auto redactOnce = [](QStringView once) {
        return redactBase64Runs(redactIPv4Addresses(redactIPv6Addresses(redactEmailAddresses(once))));
    };
    // One kind redacted can leave another standing alone at its edge (a cut run frees the address beside
    // it), so the passes repeat until nothing changes: the stored text is final. The mark itself never
    // matches, and every round that changes the text consumes some of it, so this ends.
    QString redacted = redactOnce(text);
    for (QString again = redactOnce(redacted); again != redacted; again = redactOnce(redacted))
        redacted = std::move(again);
    return redacted;
}

} // namespace tessaron
