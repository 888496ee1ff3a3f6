#pragma once

#include "platform/one_shot.hpp"
#include "platform/system_extension_requests.hpp"
#include "session/activation_request_map.hpp"
#include "session/application_location.hpp"
#include "session/extension_approval_machine.hpp"
#include "session/system_extension_activating.hpp"
#include "session/task_activation_timing.hpp"

#include <optional>

namespace tessaron {

class Clock;
class TessaronConnectionLog;

// Activates the tunnel extension before the first tunnel starts: submits the requests, answers for them
// as their delegate, and hands the approval machine's outcome to the one caller that waits for it.
// One per process; lives on the main thread.
class SystemExtensionActivator final : public SystemExtensionRequestDelegate,
                                       public TessaronSystemExtensionActivating,
                                       public ActivationRequesting {
    Q_OBJECT
public:
    SystemExtensionActivator(SystemExtensionRequests& systemExtensions, Clock& clock,
                             TessaronConnectionLog& log, ApplicationLocation location,
                             QObject* parent = nullptr);
    ~SystemExtensionActivator() override;

    // The process's activator over the Linux requests, the system clock and the shared connection log,
    // created on first use.
    static SystemExtensionActivator& shared();

    QCoro::Task<TessaronExtensionActivation> ensureActivated(std::function<void()> onWaiting) override;
    void cancel() override;
    void openExtensionSettings() override;

    void submitActivationRequest(const QUuid& id) override;

    SystemExtensionReplacementAction
    actionForReplacingExtension(const SystemExtensionRequest& request) override;
    void requestNeedsUserApproval(const SystemExtensionRequest& request) override;
    void requestDidFinish(const SystemExtensionRequest& request,
                          SystemExtensionRequestResult result) override;
    void requestDidFail(const SystemExtensionRequest& request, const SystemExtensionError& error) override;

private:
    using EventFor = std::function<ActivationDelegateEvent(const QUuid&)>;

    // Looks the request up at once, then logs and hands the event to the machine on the main thread.
    void deliver(const SystemExtensionRequest& request, QString line, const EventFor& eventFor);
    void complete(const TessaronExtensionActivation& outcome);

    SystemExtensionRequests& systemExtensions_;
    TessaronConnectionLog& log_;
    ApplicationLocation location_;
    TaskActivationTiming timing_;
    ActivationRequestMap requests_;
    ExtensionApprovalMachine machine_;
    std::optional<OneShot<TessaronExtensionActivation>> continuation_;
};

} // namespace tessaron
