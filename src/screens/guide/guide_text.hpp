#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace tessaron {

// One block of the guide's line grammar.
struct TessaronGuideBlock {
    enum class Kind { title, heading, paragraph, bullets, numbered, image };
    Kind kind = Kind::paragraph;
    // Title, heading and paragraph text; the image's caption.
    QString text;
    // List items.
    QStringList items;
    // The image's file name as written, with ".png".
    QString imageName;

    static TessaronGuideBlock title(QString text) { return {Kind::title, std::move(text), {}, {}}; }
    static TessaronGuideBlock heading(QString text) { return {Kind::heading, std::move(text), {}, {}}; }
    static TessaronGuideBlock paragraph(QString text) { return {Kind::paragraph, std::move(text), {}, {}}; }
    static TessaronGuideBlock bullets(QStringList items) { return {Kind::bullets, {}, std::move(items), {}}; }
    static TessaronGuideBlock numbered(QStringList items) {
        return {Kind::numbered, {}, std::move(items), {}};
    }
    static TessaronGuideBlock image(QString name, QString caption) {
        return {Kind::image, std::move(caption), {}, std::move(name)};
    }

    // The guide's own line grammar, not general Markdown. Lines end at line feeds; a carriage return before
    // one is dropped.
    static QList<TessaronGuideBlock> parse(const QString& markdown);
    // "![caption](name.png)" with a name of lowercase letters, digits and hyphens: (name, caption).
    static std::optional<std::pair<QString, QString>> imageLine(const QString& trimmedLine);
    // "12. text": the text.
    static std::optional<QString> numberedItem(const QString& trimmedLine);

    friend bool operator==(const TessaronGuideBlock&, const TessaronGuideBlock&) = default;
};

// Wraps bare URLs in angle brackets, leaving trailing punctuation and existing links alone.
QString autolinkBareURLs(const QString& text);

// "Guide.zh-Hans" for any Chinese first language, else "Guide.en".
QString guideResourceName(const QStringList& preferredLanguages);
// The bundled guide in the language chosen; none when it is missing or not UTF-8.
std::optional<QString> loadBundledGuide(const QStringList& preferredLanguages);

} // namespace tessaron
