#include "session_link_fixture.hpp"

#include "platform/tunnel_contract.hpp"
#include "profiles/json_values.hpp"
#include "session/error_sanitizer.hpp"
#include "session/system_extension_activator.hpp"
#include "support/fake_system_extension_requests.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

using SessionConnectTest = SessionLinkTest;
using Approval = TessaronExtensionApproval;

// A configuration the system drops once is written again; dropped twice, the connect is refused.
TEST_F(SessionConnectTest, AConnectInstallsTheConfigurationStartsTheTunnelAndFollowsItsStatus) {
    const auto profile = sampleProfile("Oslo", {}, true);
    startSelected({profile});
    // Without a transport asked for, the start takes the one that last worked on this node.
    rememberLastGood(profile.id, TessaronTransport::xhttp);
    tunnels.dropConfigurationOnNextSaves(1);
    run(session->connect());
    EXPECT_EQ(
        std::tuple(session->phase(), installedTransport(), session->activeTransport(), tunnel().startCount()),
        std::tuple(TessaronLinkPhase::connecting, "xhttp", TessaronTransport::xhttp, 1));
    tunnel().setStatus(VpnStatus::connected);
    settle();
    EXPECT_EQ(std::tuple(session->phase(), session->tunnelUpSince(), session->primaryTitle()),
              std::tuple(TessaronLinkPhase::connected, std::optional(clock.now()), "Disconnect"));
    session->userStopTapped();
    settle();
    EXPECT_EQ(std::tuple(session->phase(), session->tunnelUpSince()),
              std::tuple(TessaronLinkPhase::disconnected, std::nullopt));
    // The stop's passing statuses reach the session as one change: it reads the status when told.
    EXPECT_EQ(logLines().mid(0, 6),
              (QStringList{"connect tapped", "tunnel status: connecting", "tunnel status: connected",
                           "check #1: success 0.00 s", "stop tapped", "tunnel status: disconnected"}));

    tunnels.dropConfigurationOnNextSaves(2);
    run(session->connect());
    EXPECT_EQ(std::tuple(session->phase(), tunnel().startCount(), session->lastError(), session->isActing()),
              std::tuple(TessaronLinkPhase::disconnected, 1, "The VPN configuration did not save completely.",
                         false));
}

// Only a selected roster source whose roster is 15 minutes old waits for it, and for three seconds at most.
TEST_F(SessionConnectTest, AStaleRosterSourceIsGivenThreeSecondsBeforeTheConnectGoesOn) {
    const auto profile = sampleProfile("Oslo"), managed = sampleProfile("Bergen");
    grantConsent();
    save(profile);
    save(managed);
    manage(profile, {managed});
    preferences.setValue("tessaron.autoSelect", false);
    auto& session = launch();
    const auto needing = [&](const TessaronProfile& selected, std::chrono::seconds age) {
        session.select(selected.id);
        stampRoster(profile.id, age);
        return session.profileNeedingRosterBeforeConnect();
    };
    EXPECT_EQ((std::tuple{needing(managed, 900s), needing(profile, 899s)}),
              std::tuple(std::nullopt, std::nullopt));
    EXPECT_EQ(needing(profile, 900s), profile.id);

    log.clear();
    pairing.setRoster(profile.id, TessaronRosterResponse{{profile}, {}, {}, std::nullopt, std::nullopt});
    pairing.setDelay(5s);
    track(session.connect());
    advance(2999ms);
    EXPECT_EQ(activator.calls, 0);
    advance(1ms);
    EXPECT_EQ(activator.calls, 1);
    advance(2s);
    EXPECT_EQ(
        linesStartingWith("roster refresh"),
        (QStringList{"roster refresh: still running, connecting anyway", "roster refresh: done 5.0 s"}));
    EXPECT_EQ(preferences.date("tessaron.profilesRefreshedAt." + uuidText(profile.id)), clock.now());
}

// What the user is shown when the extension is not activated, or the node is at this machine's own address.
TEST_F(SessionConnectTest, AConnectThatCannotStartShowsWhy) {
    using Kind = TessaronExtensionActivation::Kind;
    const QString ownAddress =
        "Use another device. This Mac cannot send all traffic through its own address.";
    const struct {
        TessaronExtensionActivation outcome;
        std::optional<Approval> approval;
        std::optional<TessaronExtensionNotice> notice;
        std::optional<QString> error;
        QString server;
    } cases[] = {
        {Kind::notInApplications, {}, TessaronExtensionNotice::notInApplications, {}, {}},
        {Kind::needsReboot, Approval::needsReboot, {}, {}, {}},
        {Kind::timedOut, Approval::retry, {}, {}, {}},
        {Kind::cancelled, {}, {}, {}, {}},
        {TessaronExtensionActivation::failed("Nope."), {}, {}, "Nope.", {}},
        {Kind::activated, {}, {}, ownAddress, "127.0.0.2"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(static_cast<int>(row.outcome.kind()));
        SessionHarness h;
        h.interfaces.entries = QList<InterfaceAddress>{FakeInterfaceAddresses::entry("127.0.0.2")};
        auto& session = h.startSelected({sampleProfile("Oslo", row.server)});
        h.activator.enqueue(row.outcome);
        h.run(session.connect());
        EXPECT_EQ(std::tuple(session.extensionApproval(), session.extensionNotice(), session.lastError(),
                             h.tunnels.stored().size(), session.phase()),
                  std::tuple(row.approval, row.notice, row.error, 0, TessaronLinkPhase::disconnected));
    }
}

// While the application copies itself into the applications folder the card keeps its offer; the notice
// to drag it comes once the move ends without a relaunch.
TEST_F(SessionConnectTest, TheDragNoticeWaitsForTheMoveToEnd) {
    std::function<void()> moveEnded;
    moveApplication = [&moveEnded](std::function<void()> followUp) {
        moveEnded = std::move(followUp);
    };
    auto& session = startSelected({sampleProfile("Oslo")});
    activator.enqueue(TessaronExtensionActivation::Kind::notInApplications);
    run(session.connect());
    session.revealAppInFinder();
    EXPECT_EQ(session.extensionNotice(), TessaronExtensionNotice::notInApplications);
    ASSERT_TRUE(moveEnded);
    moveEnded();
    EXPECT_EQ(session.extensionNotice(), TessaronExtensionNotice::dragToApplications);
}

// A keyring slow to answer holds the connect, not the window; a stop made meanwhile ends it before the tunnel
// starts.
TEST_F(SessionConnectTest, AStopWhileTheKeyringAnswersEndsTheConnectBeforeTheTunnelStarts) {
    auto& session = startSelected({sampleProfile("Oslo")});
    keychain.hold();
    run(session.connect());
    session.userStopTapped();
    keychain.release();
    settle();
    EXPECT_EQ(std::tuple(session.phase(), tunnels.stored().size(), session.lastError()),
              std::tuple(TessaronLinkPhase::disconnected, 0, std::nullopt));
}

// The real activator, answered by a scripted system: the 300 s cap of an activation the user never
// approves.
TEST_F(SessionConnectTest,
       AnActivationTheUserNeverApprovesHoldsOffASecondConnectAndEndsAfterFiveMinutesWithARetry) {
    FakeSystemExtensionRequests system;
    SystemExtensionActivator real(system, clock, log, {"/opt/apps/tessaron/bin/tessaron", "/opt/apps"});
    activation = &real;
    auto& session = startSelected({sampleProfile("Oslo")});
    system.enqueue({FakeSystemExtensionRequests::NeedsApproval{}});

    auto connecting = run(session.connect());
    EXPECT_EQ(std::tuple(session.extensionApproval(), system.settingsOpened()),
              std::tuple(Approval::waiting, 1));
    // A second connect while the first waits is refused without a second activation.
    EXPECT_TRUE(run(session.connect())->done);
    EXPECT_EQ(session.lastError(), "Wait for the current change to finish.");
    advance(299s);
    EXPECT_FALSE(connecting->done);
    advance(1s);
    EXPECT_TRUE(connecting->done);
    EXPECT_EQ(std::tuple(session.extensionApproval(), tunnels.stored().size()),
              std::tuple(Approval::retry, 0));
    EXPECT_GT(system.submitted().size(), 50);

    system.enqueue({SystemExtensionRequestResult::completed});
    session.retryConnect();
    settle();
    EXPECT_EQ(std::tuple(session.extensionApproval(), session.phase(), tunnel().startCount()),
              std::tuple(std::nullopt, TessaronLinkPhase::connecting, 1));
}

class SessionWatchdogTest : public SessionLinkTest {
protected:
    // A "%2" in a name stays text in the lines that name the node.
    const TessaronProfile oslo = sampleProfile("Oslo %2", "oslo.example.net");
    const TessaronProfile bergen = sampleProfile("Bergen");
};

TEST_F(SessionWatchdogTest,
       TheLastWorkingNodeGetsTwentySecondsToConnectAnyOtherTwelveWhileTheConnectIsUnderway) {
    const auto osloLine = [](int seconds) {
        return QStringList{
            QStringLiteral("connect watchdog: Oslo %2 still connecting after %1 s").arg(seconds)};
    };
    // The last working node stored, and what happens 5 s into the connect.
    const auto watch = [&](const char* name, Clock::Duration limit, const QStringList& fired,
                           std::optional<QUuid> lastGood,
                           const std::function<void(SessionHarness&)>& after5s = {}) {
        SCOPED_TRACE(name);
        SessionHarness h;
        h.ready({oslo, bergen}, false);
        if (lastGood)
            h.rememberLastGood(*lastGood);
        // The tunnel reports connecting and gets no further.
        track(h.session->connect());
        h.advance(5s);
        if (after5s)
            after5s(h);
        EXPECT_TRUE(h.linesAfter(limit - 5s - 1ms, "connect watchdog").isEmpty());
        EXPECT_EQ(h.linesAfter(1ms, "connect watchdog"), fired) << h.logText();
        // The watchdog leaves the tunnel to failover, which has nowhere to go with the choice off.
        EXPECT_EQ((std::tuple{h.linesAfter(30s, "connect watchdog"), h.session->phase()}),
                  std::tuple(fired,
                             fired.isEmpty() ? TessaronLinkPhase::connected : TessaronLinkPhase::connecting));
    };
    watch("nothing stored", 12s, osloLine(12), {});
    watch("another node stored", 12s, osloLine(12), bergen.id);
    watch("this node stored", 20s, osloLine(20), oslo.id);
    watch("the tunnel went on reasserting", 12s, osloLine(12), {},
          [](SessionHarness& h) { h.tunnel().setStatus(VpnStatus::reasserting); });
    watch("the tunnel came up", 12s, {}, {},
          [](SessionHarness& h) { h.tunnel().setStatus(VpnStatus::connected); });
    watch("another node was started", 17s, {"connect watchdog: Bergen still connecting after 12 s"}, {},
          [this](SessionHarness& h) {
              h.session->userStopTapped();
              h.settle();
              h.session->select(bergen.id);
              track(h.session->connect());
          });
}

TEST_F(SessionWatchdogTest, ATunnelThatEndsByItselfShowsItsErrorAndLogsItsDomainCleaned) {
    const std::pair<QString, QString> cases[] = {
        {tunnel_failure::domain, tunnel_failure::domain},
        {"Odd Domain/with: marks!", "OddDomainwithmarks"},
        // Dotted, so that the log's redaction of long runs leaves it alone.
        {QStringLiteral("ab.").repeated(44), QStringLiteral("ab.").repeated(40)},
    };
    for (const auto& [domain, cleaned] : cases) {
        SessionHarness h;
        auto& session = h.ready({oslo});
        h.connectAndComeUp();
        session.setLastError("Earlier trouble.");
        const PlatformError error(domain, 7);
        h.tunnel().setLastDisconnectError(error);
        h.tunnel().setStatus(VpnStatus::disconnected);
        h.settle();
        EXPECT_EQ(std::tuple(session.lastError(), h.linesStartingWith("disconnect failure")),
                  std::tuple(TessaronErrorSanitizer::message(error),
                             QStringList{"disconnect failure: " + cleaned + "/7"}));
    }
}

} // namespace
