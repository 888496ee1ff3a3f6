#include "session/system_extension_activator.hpp"

#include "extension_printers.hpp"
#include "profiles/connection_log.hpp"
#include "profiles/identifiers.hpp"
#include "support/fake_system_extension_requests.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"

#include <QCoreApplication>
#include <QStringList>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tessaron::SystemExtensionError;
using tessaron::SystemExtensionRequestResult;
using tessaron::TessaronExtensionActivation;
using tessaron::testing::FakeSystemExtensionRequests;
using Outcome = TessaronExtensionActivation::Kind;
using Result = std::optional<TessaronExtensionActivation>;

namespace {

const tessaron::ApplicationLocation installed{QStringLiteral("/home/ann/.local/opt/tessaron/bin/tessaron"),
                                              QStringLiteral("/home/ann/.local/opt")};
const auto completed = SystemExtensionRequestResult::completed;

QCoro::Task<> store(QCoro::Task<TessaronExtensionActivation> task, Result* into) {
    *into = co_await std::move(task);
}

class ActivatorTest : public ::testing::Test {
protected:
    // Starts an activation; its outcome lands in `into` once it ends.
    void begin(Result* into, std::function<void()> onWaiting = {}) {
        store(activator.ensureActivated(std::move(onWaiting)), into);
    }

    // Delivers what the system and the activator have posted to the event loop.
    static void settle() {
        for (int round = 0; round < 3; ++round)
            QCoreApplication::sendPostedEvents();
    }

    QStringList lines() const {
        QStringList texts;
        for (const auto& entry : log.entries())
            texts.append(entry.text);
        return texts;
    }

    FakeSystemExtensionRequests system;
    tessaron::testing::ManualClock clock;
    tessaron::testing::MemoryPreferences preferences;
    tessaron::TessaronConnectionLog log{preferences, clock};
    tessaron::SystemExtensionActivator activator{system, clock, log, installed};
};

} // namespace

TEST_F(ActivatorTest, ReplacesAnOlderExtensionAndActivatesWhileASecondCallFailsAtOnce) {
    system.enqueue({FakeSystemExtensionRequests::ReplaceExisting{}, completed});
    Result outcome, second;
    begin(&outcome);
    begin(&second);
    EXPECT_FALSE(outcome) << "the system answers later";
    EXPECT_EQ(second, TessaronExtensionActivation::failed("Activation is already in progress."));
    settle();

    EXPECT_EQ(outcome, Outcome::activated);
    EXPECT_EQ(system.submitted().size(), 1);
    EXPECT_EQ(system.submitted().at(0)->extensionIdentifier(),
              tessaron::TessaronIdentifiers::tunnelExtensionBundle);
    EXPECT_EQ(system.replacementActions(), QList{tessaron::SystemExtensionReplacementAction::replace});
    EXPECT_EQ(lines(), (QStringList{"extension: submit", "extension: replace existing",
                                    "extension: didFinish result 0", "extension: activated"}));
}

TEST_F(ActivatorTest, TurnsEachAnswerIntoItsLineAndOutcome) {
    const std::tuple<FakeSystemExtensionRequests::Answer, QString, TessaronExtensionActivation> cases[] = {
        {static_cast<SystemExtensionRequestResult>(7), "extension: didFinish result 7",
         TessaronExtensionActivation::failed("The network extension reported an unexpected result.")},
        {SystemExtensionError{"NSPOSIXErrorDomain", 4}, "extension: failed code 4 (other)",
         TessaronExtensionActivation::failed(
             "Tessaron's network extension didn't start. Try Connect again.")},
        {SystemExtensionError::ofService(SystemExtensionError::extensionNotFound),
         "extension: failed code 4 (sysext)",
         TessaronExtensionActivation::failed(
             "This copy of Tessaron can't install its network extension. Download the latest Tessaron from "
             "tessaron.app, move it to Applications, and open it again.")},
    };
    for (const auto& [answer, line, expected] : cases) {
        SCOPED_TRACE(line.toStdString());
        log.clear();
        system.enqueue({answer});
        Result outcome;
        begin(&outcome);
        settle();

        EXPECT_EQ(outcome, expected);
        EXPECT_EQ(lines().value(1), line);
    }
}

TEST_F(ActivatorTest, OutsideTheApplicationsFolderRefusesWithoutAskingTheSystem) {
    tessaron::SystemExtensionActivator misplaced(
        system, clock, log,
        {QStringLiteral("/home/ann/src/tessaron/build/bin/tessaron"), installed.applicationsFolder});
    Result outcome;
    store(misplaced.ensureActivated({}), &outcome);

    EXPECT_EQ(outcome, Outcome::notInApplications);
    EXPECT_TRUE(system.submitted().isEmpty());
    EXPECT_EQ(lines(), QStringList{"extension: not in Applications"});
}
