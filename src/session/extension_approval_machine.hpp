#pragma once

#include "session/activation_timing.hpp"
#include "session/extension_activation.hpp"

#include <QSet>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <optional>
#include <variant>

namespace tessaron {

// The system's answer that a request finished.
enum class ActivationFinish { completed, willCompleteAfterReboot, unexpected };

// One answer of the system to an activation request, named by the request's id.
struct ActivationDelegateEvent {
    struct NeedsUserApproval {
        QUuid requestID;
        bool operator==(const NeedsUserApproval&) const = default;
    };
    struct Finished {
        QUuid requestID;
        ActivationFinish finish;
        bool operator==(const Finished&) const = default;
    };
    struct Failed {
        QUuid requestID;
        QString domain;
        qint64 code;
        bool operator==(const Failed&) const = default;
    };

    std::variant<NeedsUserApproval, Finished, Failed> value;

    QUuid requestID() const;
    bool operator==(const ActivationDelegateEvent&) const = default;
};

// Submits activation requests on the machine's behalf.
class ActivationRequesting {
public:
    virtual ~ActivationRequesting() = default;
    virtual void submitActivationRequest(const QUuid& id) = 0;
};

// One activation attempt at a time: it submits requests, turns the system's answers and its own timers into
// one outcome and hands that outcome over exactly once. Answers to requests of an earlier attempt, answers
// after the outcome and timers of an earlier attempt are dropped by comparing ids and generations.
// Lives on the main thread.
class ExtensionApprovalMachine {
public:
    class Phase {
    public:
        enum class Kind {
            failed,
            idle,
            submitted,
            waiting,
            rebootRequired,
            timedOut,
            activated,
            cancelled,
            notInApplications,
        };

        Phase(Kind kind)
            : kind_(kind) {}
        static Phase failed(QString message) { return {Kind::failed, std::move(message)}; }

        Kind kind() const { return kind_; }
        const QString& message() const { return message_; }
        bool operator==(const Phase&) const = default;

    private:
        Phase(Kind kind, QString message)
            : kind_(kind)
            , message_(std::move(message)) {}

        Kind kind_;
        QString message_;
    };

    using Log = std::function<void(const QString&)>;
    using OnWaiting = std::function<void()>;
    using OnFinish = std::function<void(const TessaronExtensionActivation&)>;

    // Silence is noted once, after this long without a final answer.
    static constexpr std::chrono::seconds silenceDelay{15};
    // An attempt ends with timedOut this long after it started, whatever it waits for.
    static constexpr std::chrono::seconds waitCap{300};
    // While waiting for approval, a fresh request goes out this often.
    static constexpr std::chrono::seconds fallbackInterval{5};

    // `requester` may be null, or must outlive the machine; so must `timing`.
    ExtensionApprovalMachine(ActivationRequesting* requester, ActivationTiming& timing, Log log);
    ~ExtensionApprovalMachine();
    ExtensionApprovalMachine(const ExtensionApprovalMachine&) = delete;
    ExtensionApprovalMachine& operator=(const ExtensionApprovalMachine&) = delete;

    // Runs at most once per attempt, when the attempt starts waiting for the user.
    void setOnWaiting(OnWaiting onWaiting) { onWaiting_ = std::move(onWaiting); }
    void setOnFinish(OnFinish onFinish) { onFinish_ = std::move(onFinish); }

    // Begins a new attempt, dropping whatever the previous one still expected.
    void start();
    void handle(const ActivationDelegateEvent& event);
    // Ends a submitted or waiting attempt with cancelled; does nothing otherwise.
    void cancel();

    const Phase& phase() const { return phase_; }
    // Absent while the attempt has no outcome yet.
    const std::optional<TessaronExtensionActivation>& result() const { return result_; }
    // How often the current attempt handed over its outcome: 0 or 1.
    int resumeCount() const { return resumeCount_; }
    // How many requests the current attempt submitted, fallbacks included.
    int submitCount() const { return submitCount_; }

private:
    enum class Submission { first, fallback };

    void submit(qint64 generation, Submission submission);
    void noteSilence(qint64 generation);
    void reachCap(qint64 generation);
    void enterWaiting(qint64 generation);
    void armFallback(qint64 generation);
    void resubmit(qint64 generation);
    void handleFinish(ActivationFinish finish);
    void handleFailure(const QString& domain, qint64 code);
    void finish(const TessaronExtensionActivation& outcome, const Phase& phase,
                const std::optional<QString>& line = std::nullopt);
    void cancelTimers();
    bool isCurrent(qint64 generation) const { return generation == generation_ && !result_; }

    ActivationRequesting* requester_;
    ActivationTiming& timing_;
    Log log_;
    OnWaiting onWaiting_;
    OnFinish onFinish_;
    Phase phase_ = Phase::Kind::idle;
    std::optional<TessaronExtensionActivation> result_;
    int resumeCount_ = 0;
    int submitCount_ = 0;
    bool markedSilent_ = false;
    qint64 generation_ = 0;
    QSet<QUuid> live_;
    std::optional<QUuid> silenceID_;
    std::optional<QUuid> capID_;
    std::optional<QUuid> fallbackID_;
};

} // namespace tessaron
