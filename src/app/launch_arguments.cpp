#include "app/launch_arguments.hpp"

namespace tessaron {

std::variant<LaunchArguments, QString> LaunchArguments::parse(const QStringList& arguments) {
    const QString usage = QStringLiteral("usage: tessaron [URL]");
    if (arguments.isEmpty())
        return LaunchArguments{};
    if (arguments.size() > 1)
        return usage;
    const QUrl url(arguments.first(), QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return QStringLiteral("not a URL to open: %1\n%2").arg(arguments.first(), usage);
    return LaunchArguments{url};
}

} // namespace tessaron
