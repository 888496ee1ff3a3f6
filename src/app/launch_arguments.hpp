#pragma once

#include <QStringList>
#include <QUrl>

#include <optional>
#include <variant>

namespace tessaron {

// The command line of the application: nothing, or one absolute URL to open (the desktop's "%u").
struct LaunchArguments {
    std::optional<QUrl> url;

    // The arguments after the program's name; an error text for anything else than the above.
    static std::variant<LaunchArguments, QString> parse(const QStringList& arguments);
};

} // namespace tessaron
