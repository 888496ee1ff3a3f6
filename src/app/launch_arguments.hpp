#pragma once

#include <QStringList>
#include <QUrl>

#include <optional>
#include <variant>

namespace tessaron {

// The command line of the application: nothing, or one URL to open (the desktop's "%u"), https or in the
// application's scheme.
struct LaunchArguments {
    std::optional<QUrl> url;

    // The arguments after the program's name; an error text for anything else than the above.
    static std::variant<LaunchArguments, QString> parse(const QStringList& arguments);
};

} // namespace tessaron
