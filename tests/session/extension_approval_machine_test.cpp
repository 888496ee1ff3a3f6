#include "session/extension_approval_machine.hpp"

#include "extension_printers.hpp"
#include "platform/system_extension_requests.hpp"
#include "support/manual_clock.hpp"

#include <QStringList>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tessaron::ActivationDelegateEvent;
using tessaron::ActivationFinish;
using tessaron::ExtensionApprovalMachine;
using tessaron::SystemExtensionError;
using tessaron::TessaronExtensionActivation;
using Outcome = TessaronExtensionActivation::Kind;
using Outcomes = QList<TessaronExtensionActivation>;
using Phase = ExtensionApprovalMachine::Phase;

namespace {

const QString submitLine = QStringLiteral("extension: submit");
const QString fallbackLine = QStringLiteral("extension: fallback submit");
const QString silentLine = QStringLiteral("extension: silent so far");

ActivationDelegateEvent approval(const QUuid& id) {
    return {ActivationDelegateEvent::NeedsUserApproval{id}};
}

ActivationDelegateEvent finished(const QUuid& id, ActivationFinish finish) {
    return {ActivationDelegateEvent::Finished{id, finish}};
}

ActivationDelegateEvent failure(const QUuid& id, qint64 code,
                                const QString& domain = SystemExtensionError::domainName) {
    return {ActivationDelegateEvent::Failed{id, domain, code}};
}

class ApprovalMachineTest : public ::testing::Test, public tessaron::ActivationRequesting {
protected:
    ApprovalMachineTest() {
        machine.setOnWaiting([this] { ++waits; });
        machine.setOnFinish([this](const TessaronExtensionActivation& outcome) { outcomes.append(outcome); });
    }

    void submitActivationRequest(const QUuid& id) override { requests.append(id); }

    tessaron::testing::ManualClock clock;
    tessaron::TaskActivationTiming timing{clock};
    QList<QUuid> requests;
    QStringList lines;
    ExtensionApprovalMachine machine{this, timing, [this](const QString& line) {
                                         lines.append(line);
                                     }};
    Outcomes outcomes;
    int waits = 0;
};

} // namespace

TEST_F(ApprovalMachineTest, WaitsOnceResubmitsAndActivatesOnAnyRequestOfTheAttempt) {
    machine.start();
    machine.handle(approval(requests[0]));
    machine.handle(approval(requests[0]));
    // A cancelled request means the same as an approval request: still one wait and one resubmission chain.
    machine.handle(failure(requests[0], SystemExtensionError::requestCanceled));
    clock.advance(10s);
    ASSERT_EQ(requests.size(), 3);

    machine.handle(finished(requests[1], ActivationFinish::completed));

    EXPECT_EQ(outcomes, Outcomes{Outcome::activated});
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(lines,
              (QStringList{submitLine, fallbackLine, fallbackLine, QStringLiteral("extension: activated")}));
    EXPECT_EQ(clock.pendingCount(), 0u) << "a finished attempt leaves no timer behind";

    machine.handle(finished(requests[2], ActivationFinish::unexpected));
    clock.advance(300s);
    EXPECT_EQ(outcomes.size(), 1) << "late answers and timers change nothing after the outcome";
}

TEST_F(ApprovalMachineTest, AnswersEndTheAttemptAsTheyMean) {
    const auto failed = [](const char* message) {
        return TessaronExtensionActivation::failed(QString::fromUtf8(message));
    };
    const auto unexpected = failed("The network extension reported an unexpected result.");
    const auto didNotStart = failed("Tessaron's network extension didn't start. Try Connect again.");
    const auto keepsWaiting = QStringLiteral("extension: request failed while waiting");
    struct Case {
        const char* name;
        bool waitingFirst;
        std::function<ActivationDelegateEvent(const QUuid&)> answer;
        std::optional<TessaronExtensionActivation> outcome;
        Phase phase;
        QString lastLine;
    };
    const auto cases = std::vector<Case>{
        {"reboot", true, [](auto& id) { return finished(id, ActivationFinish::willCompleteAfterReboot); },
         Outcome::needsReboot, Phase::Kind::rebootRequired,
         QStringLiteral("extension: will complete after reboot")},
        {"unexpected", false, [](auto& id) { return finished(id, ActivationFinish::unexpected); }, unexpected,
         Phase::failed(unexpected.message()), QStringLiteral("extension: unexpected result")},
        {"location", true, [](auto& id) { return failure(id, 3); }, Outcome::notInApplications,
         Phase::Kind::notInApplications, submitLine},
        {"policy", true, [](auto& id) { return failure(id, 10); },
         failed("Your Mac's management policy blocks Tessaron's network extension."),
         Phase::failed(QStringLiteral("Your Mac's management policy blocks Tessaron's network extension.")),
         submitLine},
        {"superseded at once", false, [](auto& id) { return failure(id, 12); }, didNotStart,
         Phase::failed(didNotStart.message()), submitLine},
        {"superseded while waiting", true, [](auto& id) { return failure(id, 12); }, std::nullopt,
         Phase::Kind::waiting, keepsWaiting},
        {"foreign while waiting", true, [](auto& id) { return failure(id, 3, QStringLiteral("other")); },
         std::nullopt, Phase::Kind::waiting, keepsWaiting},
        {"authorization required", false, [](auto& id) { return failure(id, 13); }, std::nullopt,
         Phase::Kind::waiting, submitLine},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        outcomes.clear();
        machine.start();
        if (test.waitingFirst)
            machine.handle(approval(requests.last()));

        machine.handle(test.answer(requests.last()));

        EXPECT_EQ(machine.phase(), test.phase);
        EXPECT_EQ(machine.result(), test.outcome);
        EXPECT_EQ(outcomes, test.outcome ? Outcomes{*test.outcome} : Outcomes{});
        EXPECT_EQ(lines.last(), test.lastLine);
    }
}

TEST_F(ApprovalMachineTest, DropsAnswersOfOtherAttemptsAndCancelsOnlyASubmittedOrWaitingOne) {
    machine.cancel();
    EXPECT_EQ(machine.phase(), Phase::Kind::idle);
    machine.start();
    machine.handle(finished(QUuid::createUuid(), ActivationFinish::completed));
    clock.advance(10s);
    machine.cancel();
    machine.start();
    machine.handle(approval(requests[0]));
    machine.handle(finished(requests[0], ActivationFinish::completed));
    EXPECT_EQ(machine.phase(), Phase::Kind::submitted);
    // The new attempt's silence counts from its own start.
    clock.advance(14s);
    EXPECT_FALSE(lines.contains(silentLine));
    clock.advance(1s);
    EXPECT_TRUE(lines.contains(silentLine));

    machine.handle(approval(requests.last()));
    machine.cancel();
    machine.start();
    machine.handle(finished(requests.last(), ActivationFinish::completed));
    machine.cancel();
    EXPECT_EQ(machine.phase(), Phase::Kind::activated);
    EXPECT_EQ(outcomes, (Outcomes{Outcome::cancelled, Outcome::cancelled, Outcome::activated}));
    EXPECT_EQ(lines.count(QStringLiteral("extension: cancelled")), 2);
}
