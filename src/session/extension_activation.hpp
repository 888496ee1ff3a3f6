#pragma once

#include <QString>

namespace tessaron {

// How an attempt to activate the tunnel extension ended.
class TessaronExtensionActivation {
public:
    enum class Kind {
        // The message says why, in the user's words.
        failed,
        activated,
        // The application does not run from the applications folder, or the system refused its location.
        notInApplications,
        // The system finishes the activation after a reboot.
        needsReboot,
        // No final answer came in time.
        timedOut,
        cancelled,
    };

    // A case without a message; failures are made with failed().
    TessaronExtensionActivation(Kind kind)
        : kind_(kind) {}
    static TessaronExtensionActivation failed(QString message) { return {Kind::failed, std::move(message)}; }

    Kind kind() const { return kind_; }
    // Empty unless the activation failed.
    const QString& message() const { return message_; }

    bool operator==(const TessaronExtensionActivation&) const = default;

private:
    TessaronExtensionActivation(Kind kind, QString message)
        : kind_(kind)
        , message_(std::move(message)) {}

    Kind kind_;
    QString message_;
};

} // namespace tessaron
