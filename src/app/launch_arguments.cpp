#include "app/launch_arguments.hpp"

#include "app/opened_url_router.hpp"

namespace tessaron {

namespace {

constexpr qsizetype longestEcho = 100;

// The argument as a terminal may show it: control and format characters (escape sequences, direction
// overrides) appear as "\u{…}" rather than act, and a long argument is cut.
QString printable(const QString& argument) {
    QString text;
    const auto points = argument.toUcs4();
    for (const char32_t point : points.first(std::min(points.size(), longestEcho))) {
        if (QChar::isPrint(point) && (point == U' ' || !QChar::isSpace(point)))
            text += QString::fromUcs4(&point, 1);
        else
            text += QStringLiteral("\\u{%1}").arg(uint(point), 0, 16);
    }
    return points.size() > longestEcho ? text + QChar(0x2026) : text;
}

} // namespace

std::variant<LaunchArguments, QString> LaunchArguments::parse(const QStringList& arguments) {
    const QString usage = QStringLiteral("usage: tessaron [URL]");
    if (arguments.isEmpty())
        return LaunchArguments{};
    if (arguments.size() > 1)
        return usage;
    const QUrl url(arguments.first(), QUrl::StrictMode);
    if (!OpenedUrlRouter::takes(url))
        return QStringLiteral("not a URL to open: %1\n%2").arg(printable(arguments.first()), usage);
    return LaunchArguments{url};
}

} // namespace tessaron
