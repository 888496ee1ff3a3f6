#pragma once

#include <QString>

#include <optional>

namespace tessaron {

// What the user must do about where the application is installed. Stored and compared by its raw value.
enum class TessaronExtensionNotice {
    // The application must first be moved into the applications folder.
    notInApplications,
    // The application was shown in the file manager for the user to drag into the applications folder.
    dragToApplications,
};

QString rawValue(TessaronExtensionNotice notice);
// No notice for a raw value that names none.
std::optional<TessaronExtensionNotice> extensionNotice(const QString& rawValue);

} // namespace tessaron
