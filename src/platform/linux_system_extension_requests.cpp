#include "platform/linux_system_extension_requests.hpp"

#include <QFileInfo>
#include <QMetaObject>

namespace tessaron {

LinuxSystemExtensionRequests::LinuxSystemExtensionRequests(QString extensionIdentifier, QString program)
    : extensionIdentifier_(std::move(extensionIdentifier))
    , program_(std::move(program)) {}

void LinuxSystemExtensionRequests::submit(std::shared_ptr<SystemExtensionRequest> request) {
    auto* delegate = request->delegate();
    if (!delegate)
        return;
    // Answers come later, as the system's do; the request stays alive until then.
    QMetaObject::invokeMethod(
        delegate,
        [request, failure = obstacle(*request)] {
            auto* delegate = request->delegate();
            if (!delegate)
                return;
            if (failure)
                delegate->requestDidFail(*request, *failure);
            else
                delegate->requestDidFinish(*request, SystemExtensionRequestResult::completed);
        },
        Qt::QueuedConnection);
}

std::optional<SystemExtensionError>
LinuxSystemExtensionRequests::obstacle(const SystemExtensionRequest& request) const {
    const QFileInfo program(program_);
    if (request.extensionIdentifier() != extensionIdentifier_ || !program.exists())
        return SystemExtensionError::ofService(SystemExtensionError::extensionNotFound);
    if (!program.isFile() || !program.isExecutable())
        return SystemExtensionError::ofService(SystemExtensionError::validationFailed);
    return std::nullopt;
}

} // namespace tessaron
