#pragma once

#include <QHash>
#include <QString>

namespace tessaron {

// A paragraph's or item's text with the pieces that Markdown's reader must leave as they are replaced by one
// stand-in character each: code spans (what the line handling does to a text, escapes at a line start and
// hard breaks, cannot reach them, and their line feeds stay) and pictures (they belong to image lines; inside
// a text the syntax shows as written, also as a link's text). The stand-ins are private-use characters the
// text does not hold, so the text's own are shown as they are.
struct GuideStandIns {
    // A code span stays between single backticks around its stand-in, so that the reader marks it as code.
    QString text;
    // What each stand-in shows: a code span's content, a picture's syntax.
    QHash<QChar, QString> shown;

    // Left to right as the reader finds them: a backslash escapes what follows it, an autolink is read whole,
    // a run of backticks is closed by the next run of the same length, and a link's address (after "](") is
    // no text, so its backticks open no code. A code span that no free stand-in is left for is left to the
    // reader; such a picture shows as written.
    static GuideStandIns of(const QString& text);
};

} // namespace tessaron
