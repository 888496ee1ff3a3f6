#include "session/system_extension_activator.hpp"

#include "platform/linux_system_extension_requests.hpp"
#include "platform/system_clock.hpp"
#include "platform/tunnel_endpoint.hpp"
#include "profiles/connection_log.hpp"
#include "profiles/identifiers.hpp"

#include <QCoreApplication>
#include <QMetaObject>

namespace tessaron {

namespace {

ActivationFinish activationFinish(SystemExtensionRequestResult result) {
    switch (result) {
    case SystemExtensionRequestResult::completed:
        return ActivationFinish::completed;
    case SystemExtensionRequestResult::willCompleteAfterReboot:
        return ActivationFinish::willCompleteAfterReboot;
    }
    return ActivationFinish::unexpected;
}

} // namespace

SystemExtensionActivator::SystemExtensionActivator(SystemExtensionRequests& systemExtensions, Clock& clock,
                                                   TessaronConnectionLog& log, ApplicationLocation location,
                                                   QObject* parent)
    : SystemExtensionRequestDelegate(parent)
    , systemExtensions_(systemExtensions)
    , log_(log)
    , location_(std::move(location))
    , timing_(clock)
    , machine_(this, timing_, [&log](const QString& line) { log.append(line); }) {
    machine_.setOnFinish([this](const TessaronExtensionActivation& outcome) { complete(outcome); });
}

SystemExtensionActivator::~SystemExtensionActivator() = default;

SystemExtensionActivator& SystemExtensionActivator::shared() {
    static LinuxSystemExtensionRequests systemExtensions(TessaronIdentifiers::tunnelExtensionBundle,
                                                         TunnelEndpoint::defaultProgram());
    static auto* activator =
        new SystemExtensionActivator(systemExtensions, SystemClock::shared(), TessaronConnectionLog::shared(),
                                     ApplicationLocation::running(), QCoreApplication::instance());
    return *activator;
}

QCoro::Task<TessaronExtensionActivation>
SystemExtensionActivator::ensureActivated(std::function<void()> onWaiting) {
    if (!location_.isInApplicationsFolder()) {
        log_.append(QStringLiteral("extension: not in Applications"));
        co_return TessaronExtensionActivation::Kind::notInApplications;
    }
    if (continuation_)
        co_return TessaronExtensionActivation::failed(
            QCoreApplication::translate("SystemExtensionActivator", "Activation is already in progress."));
    machine_.setOnWaiting(std::move(onWaiting));
    const OneShot<TessaronExtensionActivation> continuation;
    continuation_ = continuation;
    machine_.start();
    co_return co_await continuation;
}

void SystemExtensionActivator::cancel() {
    machine_.cancel();
}

void SystemExtensionActivator::openExtensionSettings() {
    systemExtensions_.openApprovalSettings();
}

void SystemExtensionActivator::submitActivationRequest(const QUuid& id) {
    auto request = std::make_shared<SystemExtensionRequest>(TessaronIdentifiers::tunnelExtensionBundle, this);
    requests_.insert(request, id);
    systemExtensions_.submit(std::move(request));
}

SystemExtensionReplacementAction
SystemExtensionActivator::actionForReplacingExtension(const SystemExtensionRequest&) {
    QMetaObject::invokeMethod(
        this, [this] { log_.append(QStringLiteral("extension: replace existing")); }, Qt::QueuedConnection);
    return SystemExtensionReplacementAction::replace;
}

void SystemExtensionActivator::requestNeedsUserApproval(const SystemExtensionRequest& request) {
    deliver(request, QStringLiteral("extension: needs approval"), [](const QUuid& id) {
        return ActivationDelegateEvent{ActivationDelegateEvent::NeedsUserApproval{id}};
    });
}

void SystemExtensionActivator::requestDidFinish(const SystemExtensionRequest& request,
                                                SystemExtensionRequestResult result) {
    const auto finish = activationFinish(result);
    deliver(request, QStringLiteral("extension: didFinish result %1").arg(static_cast<qint64>(result)),
            [finish](const QUuid& id) {
                return ActivationDelegateEvent{ActivationDelegateEvent::Finished{id, finish}};
            });
}

void SystemExtensionActivator::requestDidFail(const SystemExtensionRequest& request,
                                              const SystemExtensionError& error) {
    const auto tag =
        error.domain == SystemExtensionError::domainName ? QStringLiteral("sysext") : QStringLiteral("other");
    deliver(request, QStringLiteral("extension: failed code %1 (%2)").arg(error.code).arg(tag),
            [error](const QUuid& id) {
                return ActivationDelegateEvent{ActivationDelegateEvent::Failed{id, error.domain, error.code}};
            });
}

void SystemExtensionActivator::deliver(const SystemExtensionRequest& request, QString line,
                                       const EventFor& eventFor) {
    std::optional<ActivationDelegateEvent> event;
    if (const auto id = requests_.id(request))
        event = eventFor(*id);
    QMetaObject::invokeMethod(
        this,
        [this, line = std::move(line), event = std::move(event)] {
            log_.append(line);
            if (event)
                machine_.handle(*event);
        },
        Qt::QueuedConnection);
}

void SystemExtensionActivator::complete(const TessaronExtensionActivation& outcome) {
    requests_.removeAll();
    if (auto continuation = std::exchange(continuation_, std::nullopt))
        continuation->resume(outcome);
}

} // namespace tessaron
