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

using namespace tessaron;
using namespace tessaron::testing;
using Outcome = TessaronExtensionActivation::Kind;
using Result = std::optional<TessaronExtensionActivation>;

namespace {

QCoro::Task<> store(QCoro::Task<TessaronExtensionActivation> task, Result* into) {
    *into = co_await std::move(task);
}

const ApplicationLocation installed{QStringLiteral("/home/ann/.local/opt/tessaron/bin/tessaron"),
                                    QStringLiteral("/home/ann/.local/opt")};

class ActivatorTest : public ::testing::Test {
protected:
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
    ManualClock clock;
    MemoryPreferences preferences;
    TessaronConnectionLog log{preferences, clock};
    SystemExtensionActivator activator{system, clock, log, installed};
};

} // namespace

TEST_F(ActivatorTest, ReplacesAnOlderExtensionAndActivatesWhileASecondCallFailsAtOnce) {
    system.enqueue({FakeSystemExtensionRequests::ReplaceExisting{}, SystemExtensionRequestResult::completed});
    Result outcome, second;
    store(activator.ensureActivated({}), &outcome);
    store(activator.ensureActivated({}), &second);
    EXPECT_EQ(second, TessaronExtensionActivation::failed("Activation is already in progress."));
    settle();

    EXPECT_EQ(outcome, Outcome::activated);
    EXPECT_EQ(system.submitted().size(), 1);
    EXPECT_EQ(system.submitted().at(0)->extensionIdentifier(), TessaronIdentifiers::tunnelExtensionBundle);
    EXPECT_EQ(system.replacementActions(), QList{SystemExtensionReplacementAction::replace});
    EXPECT_EQ(lines(), (QStringList{"extension: submit", "extension: replace existing",
                                    "extension: didFinish result 0", "extension: activated"}));
}

TEST_F(ActivatorTest, TurnsEachAnswerIntoItsLineAndOutcome) {
    const auto failed = [](const char* message) {
        return TessaronExtensionActivation::failed(QString::fromUtf8(message));
    };
    const std::tuple<FakeSystemExtensionRequests::Answer, QString, TessaronExtensionActivation> cases[] = {
        {static_cast<SystemExtensionRequestResult>(7), "extension: didFinish result 7",
         failed("The network extension reported an unexpected result.")},
        {SystemExtensionError{"NSPOSIXErrorDomain", 4}, "extension: failed code 4 (other)",
         failed("Tessaron's network extension didn't start. Try Connect again.")},
        {SystemExtensionError::ofService(SystemExtensionError::extensionNotFound),
         "extension: failed code 4 (sysext)",
         failed(
             "This copy of Tessaron can't install its network extension. Download the latest Tessaron from "
             "tessaron.app, move it to Applications, and open it again.")},
    };
    for (const auto& [answer, line, expected] : cases) {
        log.clear();
        system.enqueue({answer});
        Result outcome;
        store(activator.ensureActivated({}), &outcome);
        settle();
        EXPECT_EQ(std::pair(outcome, lines().value(1)), std::pair(Result(expected), line))
            << line.toStdString();
    }
}

TEST_F(ActivatorTest, OnlyAnApplicationBelowTheApplicationsFolderIsActivated) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"/home/ann/.local/opt/tessaron/bin/tessaron", "/home/ann/.local/opt", true},
        {"/home/ann/.local/opt/tessaron", "/home/ann/.local/opt/", true},
        {"/opt/tessaron/tessaron", "/", true},
        // A folder that merely starts with the same letters is another folder.
        {"/home/ann/.local/opt-old/tessaron/tessaron", "/home/ann/.local/opt", false},
        {"/home/ann/.local/opt", "/home/ann/.local/opt", false},
        {"/home/ann/.local/opt/../../src/tessaron", "/home/ann/.local/opt", false},
        {"/home/ann/.local/opt/tessaron", "", false},
    };
    for (const auto& [application, folder, inside] : cases) {
        const ApplicationLocation location{QString::fromUtf8(application), QString::fromUtf8(folder)};
        EXPECT_EQ(location.isInApplicationsFolder(), inside) << application << " in " << folder;
    }

    // Outside it, the activator refuses without asking the system.
    SystemExtensionActivator misplaced(system, clock, log, {"/home/ann/src/tessaron/bin/tessaron", "/opt"});
    Result outcome;
    store(misplaced.ensureActivated({}), &outcome);
    EXPECT_EQ(outcome, Outcome::notInApplications);
    EXPECT_TRUE(system.submitted().isEmpty());
    EXPECT_EQ(lines(), QStringList{"extension: not in Applications"});
}
