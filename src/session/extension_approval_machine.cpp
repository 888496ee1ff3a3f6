#include "session/extension_approval_machine.hpp"

#include "session/extension_failure.hpp"

#include <QCoreApplication>

namespace tessaron {

namespace {

using PhaseKind = ExtensionApprovalMachine::Phase::Kind;
using OutcomeKind = TessaronExtensionActivation::Kind;

template <typename... Handlers> struct Overloaded : Handlers... { using Handlers::operator()...; };
template <typename... Handlers> Overloaded(Handlers...) -> Overloaded<Handlers...>;

} // namespace

QUuid ActivationDelegateEvent::requestID() const {
    return std::visit([](const auto& event) { return event.requestID; }, value);
}

ExtensionApprovalMachine::ExtensionApprovalMachine(ActivationRequesting* requester, ActivationTiming& timing,
                                                   Log log)
    : requester_(requester)
    , timing_(timing)
    , log_(std::move(log)) {}

ExtensionApprovalMachine::~ExtensionApprovalMachine() {
    cancelTimers();
}

void ExtensionApprovalMachine::start() {
    cancelTimers();
    const auto generation = ++generation_;
    phase_ = PhaseKind::submitted;
    result_.reset();
    resumeCount_ = 0;
    markedSilent_ = false;
    live_.clear();
    submitCount_ = 0;
    submit(generation, Submission::first);
    silenceID_ = timing_.schedule(silenceDelay, [this, generation] { noteSilence(generation); });
    capID_ = timing_.schedule(waitCap, [this, generation] { reachCap(generation); });
}

void ExtensionApprovalMachine::handle(const ActivationDelegateEvent& event) {
    if (result_ || !live_.contains(event.requestID()))
        return;
    std::visit(
        Overloaded{
            [this](const ActivationDelegateEvent::NeedsUserApproval&) { enterWaiting(generation_); },
            [this](const ActivationDelegateEvent::Finished& finished) { handleFinish(finished.finish); },
            [this](const ActivationDelegateEvent::Failed& failed) {
                handleFailure(failed.domain, failed.code);
            },
        },
        event.value);
}

void ExtensionApprovalMachine::cancel() {
    const auto kind = phase_.kind();
    if (!result_ && (kind == PhaseKind::submitted || kind == PhaseKind::waiting))
        finish(OutcomeKind::cancelled, PhaseKind::cancelled, QStringLiteral("extension: cancelled"));
}

void ExtensionApprovalMachine::submit(qint64 generation, Submission submission) {
    if (!isCurrent(generation))
        return;
    const auto id = QUuid::createUuid();
    live_.insert(id);
    ++submitCount_;
    log_(submission == Submission::fallback ? QStringLiteral("extension: fallback submit")
                                            : QStringLiteral("extension: submit"));
    if (requester_)
        requester_->submitActivationRequest(id);
}

void ExtensionApprovalMachine::noteSilence(qint64 generation) {
    if (!isCurrent(generation) || markedSilent_)
        return;
    markedSilent_ = true;
    log_(QStringLiteral("extension: silent so far"));
}

void ExtensionApprovalMachine::reachCap(qint64 generation) {
    if (isCurrent(generation))
        finish(OutcomeKind::timedOut, PhaseKind::timedOut, QStringLiteral("extension: wait cap reached"));
}

void ExtensionApprovalMachine::enterWaiting(qint64 generation) {
    if (!isCurrent(generation) || phase_.kind() == PhaseKind::waiting)
        return;
    phase_ = PhaseKind::waiting;
    // A copy: the callback may hand the machine a new one.
    if (const auto onWaiting = onWaiting_)
        onWaiting();
    armFallback(generation);
}

void ExtensionApprovalMachine::armFallback(qint64 generation) {
    fallbackID_ = timing_.schedule(fallbackInterval, [this, generation] { resubmit(generation); });
}

void ExtensionApprovalMachine::resubmit(qint64 generation) {
    if (!isCurrent(generation) || phase_.kind() != PhaseKind::waiting)
        return;
    submit(generation, Submission::fallback);
    armFallback(generation);
}

void ExtensionApprovalMachine::handleFinish(ActivationFinish finishKind) {
    switch (finishKind) {
    case ActivationFinish::completed:
        finish(OutcomeKind::activated, PhaseKind::activated, QStringLiteral("extension: activated"));
        return;
    case ActivationFinish::willCompleteAfterReboot:
        finish(OutcomeKind::needsReboot, PhaseKind::rebootRequired,
               QStringLiteral("extension: will complete after reboot"));
        return;
    case ActivationFinish::unexpected:
        break;
    }
    const auto message = QCoreApplication::translate("SystemExtensionActivator",
                                                     "The network extension reported an unexpected result.");
    finish(TessaronExtensionActivation::failed(message), Phase::failed(message),
           QStringLiteral("extension: unexpected result"));
}

void ExtensionApprovalMachine::handleFailure(const QString& domain, qint64 code) {
    const auto failureClass = extensionFailureClass(domain, code);
    switch (failureClass) {
    case ExtensionFailureClass::awaitsApproval:
        enterWaiting(generation_);
        return;
    case ExtensionFailureClass::refusedLocation:
        finish(OutcomeKind::notInApplications, PhaseKind::notInApplications);
        return;
    case ExtensionFailureClass::didNotStart:
        // Superseded or stray requests are expected while fresh ones go out every few seconds.
        if (phase_.kind() == PhaseKind::waiting) {
            log_(QStringLiteral("extension: request failed while waiting"));
            return;
        }
        break;
    case ExtensionFailureClass::unusableCopy:
    case ExtensionFailureClass::forbiddenByPolicy:
        break;
    }
    const auto message = extensionFailureMessage(failureClass);
    finish(TessaronExtensionActivation::failed(message), Phase::failed(message));
}

void ExtensionApprovalMachine::finish(const TessaronExtensionActivation& outcome, const Phase& phase,
                                      const std::optional<QString>& line) {
    if (result_)
        return;
    if (line)
        log_(*line);
    phase_ = phase;
    result_ = outcome;
    live_.clear();
    ++generation_;
    cancelTimers();
    ++resumeCount_;
    if (const auto onFinish = onFinish_)
        onFinish(outcome);
}

void ExtensionApprovalMachine::cancelTimers() {
    for (auto* id : {&silenceID_, &capID_, &fallbackID_}) {
        if (*id)
            timing_.cancel(**id);
        id->reset();
    }
    timing_.cancelAll();
}

} // namespace tessaron
