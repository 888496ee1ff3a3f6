#pragma once

#include <QString>

namespace tessaron {

// What a failed activation request means for the attempt.
enum class ExtensionFailureClass {
    // The request waits for the user (it was cancelled or needs authorization): keep waiting.
    awaitsApproval = 0,
    // The system refused the application's location.
    refusedLocation = 1,
    // This copy of the application cannot install its extension.
    unusableCopy = 2,
    // A management policy forbids the extension.
    forbiddenByPolicy = 3,
    // Anything else: the extension did not start, and trying again may help.
    didNotStart = 4,
};

ExtensionFailureClass extensionFailureClass(const QString& domain, qint64 code);
// The user's words for a failure that ends the attempt; empty for the classes that do not.
QString extensionFailureMessage(ExtensionFailureClass failureClass);

} // namespace tessaron
