#include "profiles/redaction.hpp"

namespace tessaron {

namespace {

constexpr qsizetype minimumBase64Run = 24;
constexpr qsizetype maximumBase64Padding = 2;
constexpr qsizetype maximumOctetDigits = 3;
constexpr int octetCount = 4;

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

// A dotted quad inside "1.2.3.4.5" or an OID is not an address, but one before a full stop is.
bool continuesDottedDigits(QStringView text, qsizetype dotOrDigit, qsizetype beyond) {
    return isAt(text, dotOrDigit, isDigit) || (isDotAt(text, dotOrDigit) && isAt(text, beyond, isDigit));
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

QString redactIPv4Addresses(QStringView text) {
    RedactedText result(text);
    for (qsizetype start = 0; start < text.size(); ++start) {
        if (!isDigit(text[start]) || continuesDottedDigits(text, start - 1, start - 2))
            continue;
        const qsizetype end = dottedQuadEnd(text, start);
        if (end < 0 || continuesDottedDigits(text, end, end + 1))
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
    return redactBase64Runs(redactIPv4Addresses(redactEmailAddresses(text)));
}

} // namespace tessaron
