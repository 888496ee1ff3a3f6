#include "session/extension_approval_machine.hpp"
#include "session/extension_failure.hpp"
#include "session/task_activation_timing.hpp"

#include "extension_printers.hpp"
#include "platform/system_extension_requests.hpp"
#include "support/manual_clock.hpp"

#include <QStringList>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using Outcome = TessaronExtensionActivation::Kind;
using Outcomes = QList<TessaronExtensionActivation>;
using Phase = ExtensionApprovalMachine::Phase;
using Event = ActivationDelegateEvent;

namespace {

const QString submitLine = QStringLiteral("extension: submit");

class ApprovalMachineTest : public ::testing::Test, public tessaron::ActivationRequesting {
protected:
    ApprovalMachineTest() {
        machine.setOnWaiting([this] { ++waits; });
        machine.setOnFinish([this](const TessaronExtensionActivation& outcome) { outcomes.append(outcome); });
    }

    void submitActivationRequest(const QUuid& id) override { requests.append(id); }

    static Event approval(const QUuid& id) { return {Event::NeedsUserApproval{id}}; }
    static Event finished(const QUuid& id, ActivationFinish finish) { return {Event::Finished{id, finish}}; }
    static Event failure(const QUuid& id, qint64 code) {
        return {Event::Failed{id, SystemExtensionError::domainName, code}};
    }

    tessaron::testing::ManualClock clock;
    tessaron::TaskActivationTiming timing{clock};
    QList<QUuid> requests;
    QStringList lines;
    ExtensionApprovalMachine machine{this, timing, [this](auto& line) {
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

    EXPECT_EQ(std::pair(outcomes, waits), std::pair(Outcomes{Outcome::activated}, 1));
    EXPECT_EQ(lines, (QStringList{submitLine, "extension: fallback submit", "extension: fallback submit",
                                  "extension: activated"}));
    EXPECT_EQ(clock.pendingCount(), 0u) << "a finished attempt leaves no timer behind";

    machine.handle(finished(requests[2], ActivationFinish::unexpected));
    clock.advance(300s);
    EXPECT_EQ(outcomes.size(), 1) << "late answers and timers change nothing after the outcome";
    EXPECT_EQ(std::pair(machine.submitCount(), machine.resumeCount()), std::pair(3, 1));
    // The counts are the attempt's own.
    machine.start();
    EXPECT_EQ(std::pair(machine.submitCount(), machine.resumeCount()), std::pair(1, 0));
}

TEST_F(ApprovalMachineTest, AnswersEndTheAttemptAsTheyMean) {
    using End = std::pair<std::optional<TessaronExtensionActivation>, Phase>;
    const auto fails = [](const char* message) {
        const auto text = QString::fromUtf8(message);
        return End{TessaronExtensionActivation::failed(text), Phase::failed(text)};
    };
    const End waits{std::nullopt, Phase::Kind::waiting};
    // The answer goes to the attempt's latest request; some come after the attempt started waiting.
    const std::tuple<const char*, bool, Event, End, QString> cases[] = {
        {"reboot", true, finished({}, ActivationFinish::willCompleteAfterReboot),
         End{Outcome::needsReboot, Phase::Kind::rebootRequired}, "extension: will complete after reboot"},
        {"unexpected", false, finished({}, ActivationFinish::unexpected),
         fails("The network extension reported an unexpected result."), "extension: unexpected result"},
        {"location", true, failure({}, 3), End{Outcome::notInApplications, Phase::Kind::notInApplications},
         submitLine},
        {"policy", true, failure({}, 10),
         fails("Your Mac's management policy blocks Tessaron's network extension."), submitLine},
        {"superseded at once", false, failure({}, 12),
         fails("Tessaron's network extension didn't start. Try Connect again."), submitLine},
        {"superseded while waiting", true, failure({}, 12), waits, "extension: request failed while waiting"},
        {"authorization required", false, failure({}, 13), waits, submitLine},
    };
    for (auto [name, waitingFirst, answer, end, lastLine] : cases) {
        SCOPED_TRACE(name);
        outcomes.clear();
        machine.start();
        if (waitingFirst)
            machine.handle(approval(requests.last()));
        std::visit([this](auto& event) { event.requestID = requests.last(); }, answer.value);
        machine.handle(answer);

        EXPECT_EQ(std::tuple(machine.result(), machine.phase(), outcomes, lines.last()),
                  std::tuple(end.first, end.second, end.first ? Outcomes{*end.first} : Outcomes{}, lastLine));
    }
}

TEST_F(ApprovalMachineTest, DropsAnswersOfOtherAttemptsAndCancelsOnlyASubmittedOrWaitingOne) {
    machine.cancel();
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
    EXPECT_FALSE(lines.contains(QStringLiteral("extension: silent so far")));
    clock.advance(1s);
    EXPECT_TRUE(lines.contains(QStringLiteral("extension: silent so far")));

    machine.handle(approval(requests.last()));
    machine.cancel();
    machine.start();
    machine.handle(finished(requests.last(), ActivationFinish::completed));
    machine.cancel();
    EXPECT_EQ(machine.phase(), Phase::Kind::activated);
    EXPECT_EQ(outcomes, (Outcomes{Outcome::cancelled, Outcome::cancelled, Outcome::activated}));
    EXPECT_EQ(lines.count(QStringLiteral("extension: cancelled")), 2);
}

TEST(ExtensionFailureTest, ClassifiesByDomainAndCode) {
    using enum tessaron::ExtensionFailureClass;
    const auto service = SystemExtensionError::domainName;
    const auto foreign = QStringLiteral("NSCocoaErrorDomain");
    // Only the activation service's own domain, spelled exactly, gives its codes a meaning.
    const std::tuple<QString, qint64, tessaron::ExtensionFailureClass> cases[] = {
        {service, 1, didNotStart},          {service, 2, unusableCopy},       {service, 3, refusedLocation},
        {service, 14, didNotStart},         {service, 10, forbiddenByPolicy}, {service, 11, awaitsApproval},
        {service, 13, awaitsApproval},      {foreign, 3, didNotStart},        {foreign, 13, didNotStart},
        {service.toLower(), 3, didNotStart}};
    for (const auto& [domain, code, expected] : cases)
        EXPECT_EQ(tessaron::extensionFailureClass(domain, code), expected)
            << domain.toStdString() << " " << code;
}
