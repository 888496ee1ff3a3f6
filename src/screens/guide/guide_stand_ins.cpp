#include "screens/guide/guide_stand_ins.hpp"

#include <QRegularExpression>
#include <QSet>

#include <optional>

namespace tessaron {

namespace {

constexpr char16_t privateUseFirst = 0xE000;
constexpr char16_t privateUseLast = 0xF8FF;
// Parentheses nested deeper in an address end it, as the reader's own limit.
constexpr int addressNestingLimit = 32;

qsizetype backtickRun(const QString& text, qsizetype at) {
    qsizetype end = at;
    while (end < text.size() && text[end] == QLatin1Char('`'))
        ++end;
    return end - at;
}

// At a run of backticks: the end of the code span it opens, or -1 when no run of its length closes it.
qsizetype codeSpanEnd(const QString& text, qsizetype at) {
    const qsizetype run = backtickRun(text, at);
    for (qsizetype close = at + run; close < text.size();) {
        const qsizetype length = backtickRun(text, close);
        if (length == run)
            return close + run;
        close += std::max<qsizetype>(length, 1);
    }
    return -1;
}

// At a "<": the end of the autolink it opens, or -1.
qsizetype autolinkEnd(const QString& text, qsizetype at) {
    static const QRegularExpression autolink(QStringLiteral("<[A-Za-z][A-Za-z0-9+.-]*:[^<>\\s]*>"));
    const auto link = autolink.match(text, at, QRegularExpression::NormalMatch,
                                     QRegularExpression::AnchorAtOffsetMatchOption);
    return link.hasMatch() ? link.capturedEnd() : -1;
}

// Spaces and tabs with at most one line feed among them.
qsizetype skipBlanks(const QString& text, qsizetype at) {
    bool lineFeed = false;
    while (at < text.size()) {
        const QChar c = text[at];
        if (c == QLatin1Char('\n') && !lineFeed)
            lineFeed = true;
        else if (c != QLatin1Char(' ') && c != QLatin1Char('\t'))
            break;
        ++at;
    }
    return at;
}

// The end of a link's address: "<…>" on one line, or characters other than spaces and controls with balanced
// parentheses; -1 when neither.
qsizetype addressEnd(const QString& text, qsizetype at) {
    if (at < text.size() && text[at] == QLatin1Char('<')) {
        for (qsizetype i = at + 1; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c == QLatin1Char('>'))
                return i + 1;
            if (c == QLatin1Char('<') || c == QLatin1Char('\n'))
                return -1;
            if (c == QLatin1Char('\\'))
                ++i;
        }
        return -1;
    }
    int depth = 0;
    qsizetype i = at;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F)
            break;
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            ++i;
        } else if (c == QLatin1Char('(')) {
            if (++depth > addressNestingLimit)
                return -1;
        } else if (c == QLatin1Char(')')) {
            if (depth == 0)
                break;
            --depth;
        }
    }
    return depth == 0 ? i : -1;
}

// At the "(" after a "]": the end of "(address "title")" as the reader takes it for a link, or -1.
qsizetype linkTargetEnd(const QString& text, qsizetype at) {
    const qsizetype address = skipBlanks(text, at + 1);
    const qsizetype end = addressEnd(text, address);
    if (end < 0)
        return -1;
    qsizetype next = skipBlanks(text, end);
    const QChar open = next < text.size() ? text[next] : QChar();
    // A title stands apart from the address.
    if (next > end && (open == QLatin1Char('"') || open == QLatin1Char('\'') || open == QLatin1Char('('))) {
        const QChar close = open == QLatin1Char('(') ? QLatin1Char(')') : open;
        for (++next; next < text.size() && text[next] != close; ++next) {
            if (text[next] == QLatin1Char('\\'))
                ++next;
        }
        if (next >= text.size())
            return -1;
        next = skipBlanks(text, next + 1);
    }
    return next < text.size() && text[next] == QLatin1Char(')') ? next + 1 : -1;
}

// At a "[": the "]" that closes it, past escapes, code spans, autolinks and nested brackets; -1 when none.
qsizetype closingBracket(const QString& text, qsizetype at) {
    int depth = 0;
    for (qsizetype i = at; i < text.size();) {
        const QChar c = text[i];
        if (c == QLatin1Char('\\')) {
            i += 2;
        } else if (c == QLatin1Char('`')) {
            const qsizetype end = codeSpanEnd(text, i);
            i = end > 0 ? end : i + backtickRun(text, i);
        } else if (c == QLatin1Char('<')) {
            const qsizetype end = autolinkEnd(text, i);
            i = end > 0 ? end : i + 1;
        } else {
            if (c == QLatin1Char('[')) {
                ++depth;
            } else if (c == QLatin1Char(']') && --depth == 0) {
                return i;
            }
            ++i;
        }
    }
    return -1;
}

// At "![": the end of the picture "![caption](address)", or -1.
qsizetype pictureEnd(const QString& text, qsizetype at) {
    const qsizetype close = closingBracket(text, at + 1);
    if (close < 0 || text.mid(close + 1, 1) != QLatin1String("("))
        return -1;
    return linkTargetEnd(text, close + 1);
}

// A code span's content: one space or line feed is taken off each end when both ends have one and it is not
// all spaces.
QString codeContent(const QString& span, qsizetype run) {
    QString content = span.mid(run, span.size() - 2 * run);
    const auto isSpace = [](QChar c) {
        return c == QLatin1Char(' ') || c == QLatin1Char('\n');
    };
    if (content.size() > 1 && isSpace(content.front()) && isSpace(content.back()) &&
        !std::all_of(content.begin(), content.end(), isSpace))
        content = content.mid(1, content.size() - 2);
    return content;
}

class StandInWriter {
public:
    explicit StandInWriter(const QString& text)
        : source_(text) {
        for (const QChar c : text) {
            if (c.unicode() >= privateUseFirst && c.unicode() <= privateUseLast)
                taken_.insert(c);
        }
    }

    GuideStandIns write() {
        int openBrackets = 0;
        while (at_ < source_.size()) {
            const QChar c = source_[at_];
            if (c == QLatin1Char('\\')) {
                copy(2);
            } else if (c == QLatin1Char('<')) {
                copy(std::max<qsizetype>(autolinkEnd(source_, at_) - at_, 1));
            } else if (c == QLatin1Char('`')) {
                codeSpan();
            } else if (c == QLatin1Char('!') && source_.mid(at_ + 1, 1) == QLatin1String("[")) {
                picture();
            } else if (c == QLatin1Char('[')) {
                ++openBrackets;
                copy(1);
            } else if (c == QLatin1Char(']') && openBrackets > 0) {
                // A link's address is copied whole; the link ends every bracket open before it.
                const qsizetype target =
                    source_.mid(at_ + 1, 1) == QLatin1String("(") ? linkTargetEnd(source_, at_ + 1) : -1;
                openBrackets = target > 0 ? 0 : openBrackets - 1;
                copy(target > 0 ? target - at_ : 1);
            } else {
                copy(1);
            }
        }
        return std::move(out_);
    }

private:
    void copy(qsizetype length) {
        out_.text += source_.mid(at_, length);
        at_ += length;
    }

    std::optional<QChar> standIn(QString shown) {
        while (next_ <= privateUseLast && taken_.contains(QChar(next_)))
            ++next_;
        if (next_ > privateUseLast)
            return std::nullopt;
        const QChar c(next_++);
        out_.shown.insert(c, std::move(shown));
        return c;
    }

    void codeSpan() {
        const qsizetype run = backtickRun(source_, at_);
        const qsizetype end = codeSpanEnd(source_, at_);
        const auto mark = end > 0 ? standIn(codeContent(source_.mid(at_, end - at_), run)) : std::nullopt;
        if (!mark) {
            copy(run);
            return;
        }
        out_.text += QLatin1Char('`') + *mark + QLatin1Char('`');
        at_ = end;
    }

    void picture() {
        const qsizetype end = pictureEnd(source_, at_);
        const auto mark = end > 0 ? standIn(source_.mid(at_, end - at_)) : std::nullopt;
        if (!mark) {
            // The reader makes no picture of an escaped bracket.
            out_.text += QStringLiteral("!\\[");
            at_ += 2;
            return;
        }
        out_.text += *mark;
        at_ = end;
    }

    const QString& source_;
    QSet<QChar> taken_;
    char16_t next_ = privateUseFirst;
    qsizetype at_ = 0;
    GuideStandIns out_;
};

} // namespace

GuideStandIns GuideStandIns::of(const QString& text) {
    return StandInWriter(text).write();
}

} // namespace tessaron
