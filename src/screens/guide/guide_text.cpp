#include "screens/guide/guide_text.hpp"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

namespace tessaron {

namespace {

// Spaces, tabs and the other Unicode space separators; line breaks stay.
QString trimSpaces(const QString& line) {
    const auto isSpace = [](QChar c) {
        return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
    };
    qsizetype start = 0;
    qsizetype end = line.size();
    while (start < end && isSpace(line[start]))
        ++start;
    while (end > start && isSpace(line[end - 1]))
        --end;
    return line.mid(start, end - start);
}

bool isImageNameCharacter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-');
}

class Blocks {
public:
    void flushParagraph() {
        if (!paragraph_.isEmpty())
            blocks_.append(TessaronGuideBlock::paragraph(paragraph_.join(QLatin1Char('\n'))));
        paragraph_.clear();
    }
    void flushBullets() {
        if (!bullets_.isEmpty())
            blocks_.append(TessaronGuideBlock::bullets(bullets_));
        bullets_.clear();
    }
    void flushNumbered() {
        if (!numbered_.isEmpty())
            blocks_.append(TessaronGuideBlock::numbered(numbered_));
        numbered_.clear();
    }
    void flushAll() {
        flushParagraph();
        flushBullets();
        flushNumbered();
    }
    void add(TessaronGuideBlock block) {
        flushAll();
        blocks_.append(std::move(block));
    }

    QStringList paragraph_, bullets_, numbered_;
    QList<TessaronGuideBlock> blocks_;
};

} // namespace

QList<TessaronGuideBlock> TessaronGuideBlock::parse(const QString& markdown) {
    Blocks out;
    for (QString line : markdown.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString trimmed = trimSpaces(line);
        if (trimmed.isEmpty()) {
            out.flushAll();
        } else if (trimmed.startsWith(QStringLiteral("# "))) {
            out.add(TessaronGuideBlock::title(trimmed.mid(2)));
        } else if (trimmed.startsWith(QStringLiteral("## "))) {
            out.add(TessaronGuideBlock::heading(trimmed.mid(3)));
        } else if (const auto image = imageLine(trimmed)) {
            out.add(TessaronGuideBlock::image(image->first, image->second));
        } else if (trimmed.startsWith(QStringLiteral("- "))) {
            out.flushParagraph();
            out.flushNumbered();
            out.bullets_.append(trimmed.mid(2));
        } else if (const auto item = numberedItem(trimmed)) {
            out.flushParagraph();
            out.flushBullets();
            out.numbered_.append(*item);
        } else {
            out.flushBullets();
            out.flushNumbered();
            out.paragraph_.append(trimmed);
        }
    }
    out.flushAll();
    return out.blocks_;
}

std::optional<std::pair<QString, QString>> TessaronGuideBlock::imageLine(const QString& line) {
    if (!line.startsWith(QStringLiteral("![")) || line.size() <= 2 || !line.endsWith(QLatin1Char(')')))
        return std::nullopt;
    const qsizetype middle = line.indexOf(QStringLiteral("]("), 2);
    if (middle < 0)
        return std::nullopt;
    const qsizetype nameStart = middle + 2;
    const qsizetype nameEnd = line.size() - 1;
    if (nameEnd <= nameStart)
        return std::nullopt;
    const QString name = line.mid(nameStart, nameEnd - nameStart);
    if (!name.endsWith(QStringLiteral(".png")))
        return std::nullopt;
    const QString stem = name.chopped(4);
    if (stem.isEmpty() || !std::all_of(stem.begin(), stem.end(), isImageNameCharacter))
        return std::nullopt;
    return std::pair{name, line.mid(2, middle - 2)};
}

std::optional<QString> TessaronGuideBlock::numberedItem(const QString& line) {
    qsizetype digits = 0;
    while (digits < line.size() && line[digits] >= QLatin1Char('0') && line[digits] <= QLatin1Char('9'))
        ++digits;
    if (digits == 0 || line.mid(digits, 2) != QStringLiteral(". "))
        return std::nullopt;
    return line.mid(digits + 2);
}

QString autolinkBareURLs(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("[A-Za-z][A-Za-z0-9+.-]*://[A-Za-z0-9._~:/?#\\[\\]@!$&'*+,;=%-]+"));
    QString output;
    qsizetype copied = 0;
    for (auto it = pattern.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        QString url = match.captured();
        qsizetype moved = 0;
        while (!url.isEmpty() && QStringLiteral(".,;:").contains(url.back())) {
            url.chop(1);
            ++moved;
        }
        const qsizetype start = match.capturedStart();
        if (start > 0 && (text[start - 1] == QLatin1Char('<') || text[start - 1] == QLatin1Char('(')))
            continue;
        output += text.mid(copied, start - copied) + QLatin1Char('<') + url + QLatin1Char('>');
        copied = match.capturedEnd() - moved;
    }
    if (copied == 0)
        return text;
    return output + text.mid(copied);
}

QString guideResourceName(const QStringList& languages) {
    if (!languages.isEmpty() && languages.first().startsWith(QStringLiteral("zh")))
        return QStringLiteral("Guide.zh-Hans");
    return QStringLiteral("Guide.en");
}

std::optional<QString> loadBundledGuide(const QStringList& languages) {
    QFile file(QStringLiteral(":/tessaron/guide/%1.md").arg(guideResourceName(languages)));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(file.readAll());
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace tessaron
