#pragma once

#include "platform/system_extension_requests.hpp"

#include <QList>
#include <QMetaObject>

#include <memory>
#include <variant>

namespace tessaron::testing {

// Records the submitted requests and answers them as scripted: the answers queued with enqueue() go to the
// next submitted request, after submit() has returned, as the system's would; answer() answers a request
// now. A request with nothing queued hears nothing.
class FakeSystemExtensionRequests final : public SystemExtensionRequests {
public:
    struct ReplaceExisting {};
    struct NeedsApproval {};
    using Answer =
        std::variant<ReplaceExisting, NeedsApproval, SystemExtensionRequestResult, SystemExtensionError>;

    void enqueue(QList<Answer> answers) { scripts_.append(std::move(answers)); }
    void answer(qsizetype index, const Answer& answer) { deliver(*submitted_.at(index), answer); }

    void submit(std::shared_ptr<SystemExtensionRequest> request) override {
        submitted_.append(request);
        if (scripts_.isEmpty() || !request->delegate())
            return;
        const auto answerAll = [this, request, answers = scripts_.takeFirst()] {
            for (const auto& answer : answers)
                deliver(*request, answer);
        };
        QMetaObject::invokeMethod(request->delegate(), answerAll, Qt::QueuedConnection);
    }
    void openApprovalSettings() override { ++settingsOpened_; }

    const QList<std::shared_ptr<SystemExtensionRequest>>& submitted() const { return submitted_; }
    // What the delegate chose each time it was asked about replacing an installed extension.
    const QList<SystemExtensionReplacementAction>& replacementActions() const { return replacementActions_; }
    int settingsOpened() const { return settingsOpened_; }

private:
    void deliver(const SystemExtensionRequest& request, const Answer& answer) {
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

    QList<QList<Answer>> scripts_;
    QList<std::shared_ptr<SystemExtensionRequest>> submitted_;
    QList<SystemExtensionReplacementAction> replacementActions_;
    int settingsOpened_ = 0;
};

} // namespace tessaron::testing
