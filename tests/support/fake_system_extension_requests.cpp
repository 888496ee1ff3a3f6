#include "support/fake_system_extension_requests.hpp"

#include <QMetaObject>

namespace tessaron::testing {

void FakeSystemExtensionRequests::answer(qsizetype index, const Answer& answer) {
    deliver(*submitted_.at(index), answer);
}

void FakeSystemExtensionRequests::submit(std::shared_ptr<SystemExtensionRequest> request) {
    submitted_.append(request);
    if (scripts_.empty())
        return;
    auto* delegate = request->delegate();
    if (!delegate)
        return;
    QMetaObject::invokeMethod(
        delegate,
        [this, request, answers = std::move(scripts_.front())] {
            for (const auto& answer : answers)
                deliver(*request, answer);
        },
        Qt::QueuedConnection);
    scripts_.pop_front();
}

void FakeSystemExtensionRequests::deliver(const SystemExtensionRequest& request, const Answer& answer) {
    auto* delegate = request.delegate();
    if (!delegate)
        return;
    if (std::holds_alternative<ReplaceExisting>(answer))
        replacementActions_.append(delegate->actionForReplacingExtension(request));
    else if (std::holds_alternative<NeedsApproval>(answer))
        delegate->requestNeedsUserApproval(request);
    else if (const auto* result = std::get_if<SystemExtensionRequestResult>(&answer))
        delegate->requestDidFinish(request, *result);
    else
        delegate->requestDidFail(request, std::get<SystemExtensionError>(answer));
}

} // namespace tessaron::testing
