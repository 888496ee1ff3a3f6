#pragma once

#include "platform/system_extension_requests.hpp"

#include <optional>

namespace tessaron {

// On Linux the extension is a program installed beside the application: there is nothing to approve and
// nothing that waits for a reboot. A request finishes once that program is present and runnable, and fails
// with the error that names what is wrong otherwise, so the user is told to install a complete copy.
class LinuxSystemExtensionRequests final : public SystemExtensionRequests {
public:
    // `program` is the executable that stands for the extension named `extensionIdentifier`.
    LinuxSystemExtensionRequests(QString extensionIdentifier, QString program);

    void submit(std::shared_ptr<SystemExtensionRequest> request) override;
    // Nothing asks for approval here, so there is no place to send the user to.
    void openApprovalSettings() override {}

private:
    // The failure that stands in the way of the request, if any.
    std::optional<SystemExtensionError> obstacle(const SystemExtensionRequest& request) const;

    QString extensionIdentifier_;
    QString program_;
};

} // namespace tessaron
