#include "account/login_flow.hpp"

#include <QStringList>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace tessaron {

namespace {

constexpr int codeFieldCharacters = 24;

// The text's first `count` user-perceived characters.
QStringList leadingCharacters(const QString& text, int count) {
    QStringList characters;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (characters.size() < count) {
        const qsizetype end = finder.toNextBoundary();
        if (end < 0)
            break;
        characters.append(text.mid(start, end - start));
        start = end;
    }
    return characters;
}

} // namespace

bool TessaronLoginFlow::isEmailPlausible() const {
    const QString trimmed = email.trimmed();
    const QChar at(u'@');
    return trimmed.contains(at) && !trimmed.startsWith(at) && !trimmed.endsWith(at);
}

bool TessaronLoginFlow::acceptCode(const QString& text) {
    const bool wasComplete = code.size() == codeLength;
    QString digits;
    for (const QString& character : leadingCharacters(text, codeFieldCharacters)) {
        if (character.size() == 1 && character[0] >= u'0' && character[0] <= u'9')
            digits.append(character);
    }
    code = digits.left(codeLength);
    return !wasComplete && code.size() == codeLength;
}

int TessaronLoginFlow::clampedResendSeconds(qint64 seconds) {
    return static_cast<int>(std::clamp<qint64>(seconds, 0, maximumResendSeconds));
}

} // namespace tessaron
