#include "session_link_fixture.hpp"

#include "platform/system_log.hpp"
#include "platform/tunnel_contract.hpp"
#include "profiles/json_values.hpp"
#include "session/managed_profiles_store.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

constexpr auto connecting = TessaronLinkPhase::connecting;
// Made on first use: the profile rules are not ready during static initialisation.
const TessaronProfile& oslo() {
    static const auto profile = sampleProfile("Oslo");
    return profile;
}

class SessionInvitationTest : public SessionLinkTest {
protected:
    std::shared_ptr<Completion> open(const QUrl& link = invitationLink()) {
        return run(session->openInvitationLink(link));
    }
};

// A redemption cut off by a quit is finished after the relaunch, and a failed one is asked for once more,
// each under its first id.
TEST_F(SessionInvitationTest, AFailedOrCutOffRedemptionIsAskedForOnceMoreUnderTheSameID) {
    grantConsent();
    pairing.setDelay(5s);
    launch();
    open();
    advance(1s);
    ASSERT_TRUE(pendingRecord());
    pairing.setDelay(0s);
    pairing.enqueueRedeem(oslo());
    run(relaunch().recoverPendingInvitation());
    EXPECT_EQ(std::tuple(session->selectedID(), pendingRecord()),
              std::tuple(std::optional(oslo().id), std::nullopt));
    session->userStopTapped();
    settle();

    pairing.enqueueRedeem(503);
    pairing.enqueueRedeem(502);
    open();
    EXPECT_EQ(std::tuple(session->lastError(), session->summaries().size()),
              std::tuple("The service is not available right now. Try again in a moment.", 1));
    const auto bergen = sampleProfile("Bergen");
    pairing.enqueueRedeem(503);
    pairing.enqueueRedeem(bergen);
    open();
    const auto ids = redemptionIDs();
    EXPECT_EQ(ids, (QStringList{ids.value(0), ids.value(0), ids.value(2), ids.value(2), ids.value(4),
                                ids.value(4)}));
    EXPECT_EQ(QSet<QString>(ids.begin(), ids.end()).size(), 3);
    // Redeemed while disconnected: the new connection starts at once.
    EXPECT_EQ(std::tuple(pendingRecord(), signIn.linked.value(signIn.linked.size() - 1), session->phase()),
              std::tuple(std::nullopt, std::optional(bergen.id), connecting));
}

// At the foreground a record left behind is finished whatever its age; a link opened for the same code may
// repeat it within a minute only.
TEST_F(SessionInvitationTest, ARecordLeftBehindIsFinishedOnceMoreUnderItsOwnRules) {
    const auto tooLong = QStringLiteral("The invitation took too long. Try again.");
    const struct {
        const char* name;
        bool viaLink, consent, redeemed, retryUsed;
        std::chrono::seconds age;
        int requests;
        std::optional<QString> error;
        bool recordKept;
    } cases[] = {
        {"unredeemed: asked for once more", false, true, false, false, 3600s, 1, {}, false},
        {"without consent", false, false, false, false, 3600s, 0, "Review the privacy terms first.", true},
        {"repeat spent", false, true, false, true, 3600s, 0, tooLong, false},
        {"redeemed but unsaved: saved without asking", false, true, true, false, 3600s, 0, {}, false},
        {"the same code within a minute", true, true, false, false, 60s, 1, {}, false},
        {"the same code after a minute", true, true, false, false, 61s, 0, tooLong, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        SessionHarness h;
        h.leaveRedemption(row.age, row.redeemed ? std::optional(oslo()) : std::nullopt, row.retryUsed);
        if (row.consent)
            h.grantConsent();
        h.pairing.enqueueRedeem(oslo());
        auto& session = h.launch();
        h.run(row.viaLink ? session.openInvitationLink(invitationLink())
                          : session.recoverPendingInvitation());
        EXPECT_EQ(std::tuple(h.redemptionIDs().size(), session.lastError(), h.pendingRecord().has_value(),
                             session.selectedID() == oslo().id),
                  std::tuple(row.requests, row.error, row.recordKept, !row.error));
    }
}

// A redeemed profile that cannot be saved counts as a failed commit: the user is told, the record kept.
TEST_F(SessionInvitationTest, AnAcceptedInvitationThatCannotBeSavedIsCountedAndTheUserTold) {
    const struct {
        const char* name;
        QByteArray leftBehind;
        bool keyringRefusesAdds;
    } cases[] = {
        {"the profile left behind no longer decodes", "{}", false},
        {"the keyring refuses the profile", oslo().canonicalJSON(), true},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        SessionHarness h;
        h.grantConsent();
        h.leaveRedemption(10s, oslo());
        auto record = *TessaronPendingRedemption::fromJSON(*h.pendingRecord());
        record.redeemedProfileJSON = row.leftBehind;
        TessaronPendingRedemptionStore(h.keychain, h.bundle).save(record);
        if (row.keyringRefusesAdds)
            h.keychain.refuseAdds(keychain_status::notAvailable);
        auto& session = h.launch();
        h.run(session.openInvitationLink(invitationLink()));
        const auto kept = TessaronPendingRedemption::fromJSON(h.pendingRecord().value_or(QByteArray()));
        EXPECT_EQ(
            std::tuple(session.lastError(), kept ? kept->commitAttempts : -1, session.selectedID()),
            std::tuple("The invitation was accepted but could not be saved yet. Tessaron will try again.", 1,
                       std::nullopt));
    }
}

TEST_F(SessionInvitationTest, AnInvitationNeverLandsUnderAConnectThatIsStarting) {
    const auto bergen = sampleProfile("Bergen");
    // A link opened, and a redeemed profile found at the foreground.
    for (const bool viaLink : {true, false}) {
        SessionHarness h;
        auto& session = h.startSelected({bergen});
        h.pairing.enqueueRedeem(oslo());
        h.activator.holdNext();
        h.run(session.connect());
        if (!viaLink)
            h.leaveRedemption(10s, oslo());
        h.run(viaLink ? session.openInvitationLink(invitationLink()) : session.recoverPendingInvitation());
        EXPECT_EQ(session.selectedID(), bergen.id);
        h.activator.release(TessaronExtensionActivation::Kind::activated);
        h.settle();
        EXPECT_EQ(std::tuple(h.tunnels.stored().first().tunnelProvider()->serverAddress, session.phase()),
                  std::tuple(bergen.server, connecting));
    }
}

// An unredeemed record is asked for at the foreground also while a link is up or starting or a change runs;
// only a redeemed one waits for the link to be idle.
TEST_F(SessionInvitationTest, AnUnredeemedRecordIsAskedForAgainWhateverTheLinkDoes) {
    const auto bergen = sampleProfile("Bergen");
    enum class Link { up, changing, starting };
    const struct {
        const char* name;
        Link link;
        bool redeemed;
        int requests;
        bool recordKept;
        // Once the change has ended; a link up or starting keeps its selection.
        bool selectsOslo;
    } cases[] = {
        {"unredeemed, a link is up", Link::up, false, 1, false, false},
        {"unredeemed, a change runs", Link::changing, false, 1, false, true},
        {"unredeemed, a connect is starting", Link::starting, false, 1, false, false},
        {"redeemed, a link is up", Link::up, true, 0, true, false},
        {"redeemed, a change runs", Link::changing, true, 0, true, false},
        {"redeemed, a connect is starting", Link::starting, true, 0, true, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        SessionHarness h;
        h.grantConsent();
        h.save(bergen);
        h.stampRoster(bergen.id, 60s);
        h.preferences.setValue("tessaron.selectedProfileID", uuidText(bergen.id));
        h.installConfiguration(bergen);
        if (row.link == Link::up)
            h.tunnel().setStatus(VpnStatus::connected);
        auto& session = h.launch();
        h.leaveRedemption(3600s, row.redeemed ? std::optional(oslo()) : std::nullopt);
        h.pairing.enqueueRedeem(oslo());
        if (row.link == Link::changing) {
            h.tunnels.setLatency(5s);
            track(session.setKillSwitch(false));
            h.settle();
            ASSERT_TRUE(session.isActing());
        }
        if (row.link == Link::starting) {
            h.activator.holdNext();
            h.run(session.connect());
        }
        h.run(session.recoverPendingInvitation());
        h.advance(6s);
        EXPECT_EQ(std::tuple(h.redemptionIDs().size(), h.pendingRecord().has_value(),
                             h.savedItem(oslo().id).has_value(), session.selectedID()),
                  std::tuple(row.requests, row.recordKept, !row.recordKept,
                             std::optional(row.selectsOslo ? oslo().id : bergen.id)))
            << h.logText();
    }
}

TEST_F(SessionInvitationTest, AnInvitationWaitsForTheSignInAndTheConsentAndIsDroppedWithThePrivacySheet) {
    signIn.signedIn = false;
    auto& session = start();
    pairing.enqueueRedeem(oslo());
    open();
    EXPECT_EQ(session.activeSheet(), TessaronSheet::signIn);
    signIn.signedIn = true;
    track(session.redeemDeferredInvitation());
    EXPECT_EQ(session.activeSheet(), TessaronSheet::signIn); // no consent yet: the code keeps waiting

    open();
    ASSERT_EQ(session.activeSheet(), TessaronSheet::privacy);
    session.setActiveSheet(std::nullopt);
    session.grantPrivacyConsent();
    settle();
    EXPECT_TRUE(redemptionIDs().isEmpty());

    preferences.remove("tessaron.privacyConsent");
    auto& fresh = restart();
    open();
    EXPECT_EQ(fresh.activeSheet(), TessaronSheet::privacy);
    fresh.grantPrivacyConsent();
    settle();
    EXPECT_EQ(fresh.selectedID(), oslo().id);
}

TEST_F(SessionInvitationTest, NothingMovesTheSelectionWhileALinkIsUp) {
    // A link without a code connects the one saved connection.
    save(oslo());
    stampRoster(oslo().id, 60s);
    grantConsent();
    auto& session = launch();
    ASSERT_FALSE(session.selectedID());
    open(QUrl("tessaron://open"));
    EXPECT_EQ(std::tuple(session.selectedID(), session.phase()),
              std::tuple(std::optional(oslo().id), connecting));
    tunnel().setStatus(VpnStatus::connected);
    settle();

    auto installing = run(session.installAccountProfile(sampleProfile("Bergen")));
    ASSERT_TRUE(installing->error);
    EXPECT_THROW(std::rethrow_exception(installing->error), TessaronSessionFailure);
    pairing.enqueueRedeem(sampleProfile("Cork"));
    open();
    EXPECT_EQ(session.lastError(), "Disconnect before changing connections.");
    EXPECT_EQ(std::tuple(pendingRecord(), session.summaries().size(), session.selectedID(),
                         preferences.text("tessaron.selectedProfileID"), session.phase()),
              std::tuple(std::nullopt, 3, std::optional(oslo().id), uuidText(oslo().id),
                         TessaronLinkPhase::connected));

    // Nor does the user move it, or remove the connection in use.
    session.pickNode(session.summaries().first().id);
    EXPECT_EQ(
        std::tuple(session.autoSelect(), session.selectedID(), session.lastError()),
        std::tuple(false, std::optional(oslo().id), "Disconnect before removing the active connection."));
    session.requestInvitationImport();
    EXPECT_EQ(std::tuple(session.activeSheet(), session.lastError()),
              std::tuple(std::nullopt, "Disconnect before changing connections."));
    run(session.removeSavedConnection(oslo().id));
    EXPECT_EQ(session.summaries().size(), 3);

    // Once the link is down, an account profile is selected without starting it.
    session.userStopTapped();
    settle();
    const auto dover = sampleProfile("Dover");
    run(session.installAccountProfile(dover));
    EXPECT_EQ(std::tuple(session.selectedID(), session.phase()),
              std::tuple(std::optional(dover.id), TessaronLinkPhase::disconnected));
}

// A stored profile is listed and selected while no link is up; a store that fails changes nothing.
TEST_F(SessionInvitationTest, AStoredProfileIsListedAndSelectedOrNothingChanges) {
    SystemLog::Capture systemLog;
    save(oslo());
    auto& session = launch();
    const auto bergen = sampleProfile("Bergen");
    const auto shown = [&] {
        return std::tuple(session.summaries().size(), session.selectedID(),
                          preferences.text("tessaron.selectedProfileID"),
                          systemLog.messages().count("invitation stored"));
    };
    keychain.failNext(-25308);
    const auto failed = run(session.storeAndSelect(bergen));
    EXPECT_TRUE(failed->error);
    EXPECT_EQ(shown(), std::tuple(1, std::nullopt, std::nullopt, 0));
    run(session.storeAndSelect(bergen));
    EXPECT_EQ(shown(), std::tuple(2, std::optional(bergen.id), std::optional(uuidText(bergen.id)), 1));
}

// Where a redeemed profile lands is decided once its roster is in, on the link as it is then.
TEST_F(SessionInvitationTest, ARedeemedProfileIsPlacedOnTheLinkAsTheRosterPullLeftIt) {
    const auto cork = sampleProfile("Cork");
    // Whether Oslo is selected, whether its link drops during the roster pull; where the selection and the
    // link end, and the message.
    const std::tuple<const char*, bool, bool, std::optional<QUuid>, TessaronLinkPhase, std::optional<QString>>
        rows[] = {
            {"the link stays up", true, false, oslo().id, TessaronLinkPhase::connected,
             "Disconnect before changing connections."},
            {"the link drops during the pull", true, true, cork.id, connecting, std::nullopt},
            {"a link up without a selection", false, false, cork.id, TessaronLinkPhase::connected,
             std::nullopt},
        };
    for (const auto& [name, selected, drops, selection, phase, message] : rows) {
        SCOPED_TRACE(name);
        SessionHarness h;
        h.grantConsent();
        h.save(oslo());
        h.stampRoster(oslo().id, 60s);
        if (selected)
            h.preferences.setValue("tessaron.selectedProfileID", uuidText(oslo().id));
        h.installConfiguration(oslo());
        h.tunnel().setStatus(VpnStatus::connected);
        auto& session = h.launch();
        h.pairing.enqueueRedeem(cork);
        h.pairing.setDelay(5s);
        track(session.openInvitationLink(invitationLink()));
        // The redemption takes 5 s, the roster pull after it 5 s more.
        h.advance(7s);
        if (drops)
            h.tunnel().setStatus(VpnStatus::disconnected);
        h.advance(5s);
        EXPECT_EQ(std::tuple(session.selectedID(), session.phase(), session.lastError()),
                  std::tuple(selection, phase, message))
            << h.logText();
    }
}

// A link whose listing waited is acted on after the latest listing, or the user told why not.
TEST_F(SessionInvitationTest, ALinkOpenedWhileTheListingWaitsIsActedOnOrRefusedAloud) {
    installConfiguration(oslo());
    save(oslo());
    stampRoster(oslo().id, 60s);
    grantConsent();
    auto& session = launch();
    // A change of the configuration began meanwhile.
    keychain.hold();
    open(QUrl("tessaron://open"));
    tunnels.setLatency(1s);
    track(session.setKillSwitch(false));
    keychain.release();
    settle();
    EXPECT_EQ(std::tuple(session.phase(), session.lastError()),
              std::tuple(TessaronLinkPhase::disconnected, "Wait for the current change to finish."));
    advance(2s);
    tunnels.setLatency(0s);

    // A roster's adoption asked for a listing meanwhile.
    pairing.setRoster(oslo().id, TessaronRosterResponse{{oslo()}, {}, {}, std::nullopt, std::nullopt});
    pairing.setDelay(1s);
    run(session.pullRoster(oslo().id));
    keychain.hold();
    advance(1s); // the roster's write waits for the keyring, then the link's listing behind it
    open(QUrl("tessaron://open"));
    open(QUrl("tessaron://open")); // a second click supersedes the first
    keychain.release();
    settle();
    EXPECT_EQ(std::tuple(session.selectedID(), session.phase(), session.lastError()),
              std::tuple(std::optional(oslo().id), connecting, std::nullopt));
}

class SessionRosterTest : public SessionLinkTest {
protected:
    TessaronSession& withSource() {
        grantConsent();
        save(source);
        launch();
        log.clear();
        return *session;
    }

    // The service answers with these profiles, each up, in Norway, and the session pulls.
    void pull(const QList<TessaronProfile>& profiles) {
        TessaronRosterResponse reply{
            profiles, {}, {}, std::nullopt, TessaronClientGeo{"DE", "Berlin", 52.5, 13.4}};
        reply.usage = TessaronDataUsage{1, 10, clock.now().addDays(10)};
        for (const auto& profile : profiles) {
            reply.health.insert(profile.id, {true, clock.now(), false, std::nullopt, 0.5, false});
            reply.geo.insert(profile.id, {"NO", 59.9, 10.7, TessaronNodeGeo::Purpose::exit});
        }
        pairing.setRoster(source.id, reply);
        run(session->pullRoster(source.id));
    }

    const TessaronProfile source = sampleProfile("Oslo");
    const TessaronProfile bergen = sampleProfile("Bergen");
    const TessaronProfile tromso = sampleProfile("Tromso");
};

// Only stale roster sources are refreshed; a roster decides the managed profiles, writing only those that
// changed, until the service forgets its source.
TEST_F(SessionRosterTest, ARosterDecidesTheManagedProfilesUntilTheServiceForgetsItsSource) {
    save(bergen);
    stampRoster(source.id, 899s);
    stampRoster(bergen.id, 900s);
    withSource();
    const auto before = rosterPulls().size();
    run(session->refreshStaleProfiles());
    EXPECT_EQ(rosterPulls().mid(before), QList<QUuid>{bergen.id});

    pull({source, bergen, tromso});
    const auto writes = keychain.writeCount();
    pull({source, bergen, tromso});
    EXPECT_EQ(keychain.writeCount(), writes) << "an unchanged roster rewrites nothing";
    auto renamed = bergen;
    renamed.name = "Bergen 2";
    pull({source, renamed, tromso});
    EXPECT_EQ(keychain.writeCount(), writes + 2) << "one add refused as a duplicate, one update";
    EXPECT_EQ(savedItem(bergen.id), renamed.canonicalJSON());
    const TessaronManagedProfilesStore managed(preferences);
    EXPECT_EQ(std::tuple(session->summaries().size(), managed.managedProfileIDs(source.id),
                         session->rosterSourceIDs(), session->nodeHealth().size(),
                         session->dataUsage()->capBytes,
                         preferences.date("tessaron.profilesRefreshedAt." + uuidText(source.id))),
              std::tuple(3, QList<QUuid>{bergen.id, tromso.id}, QList<QUuid>{source.id}, 3, 10, clock.now()));

    // The geography outlives the process; the node health does not.
    auto& relaunched = relaunch();
    EXPECT_EQ(std::tuple(relaunched.nodeGeo(bergen.id)->country, relaunched.clientGeo()->city),
              std::tuple("NO", "Berlin"));
    pull({source, bergen});
    EXPECT_EQ(std::tuple(relaunched.summaries().size(), relaunched.nodeHealth().contains(tromso.id),
                         savedItem(tromso.id)),
              std::tuple(2, false, std::nullopt));

    // Any other failure is only logged.
    log.clear();
    pairing.failNextRosters({500});
    run(relaunched.pullRoster(source.id));
    EXPECT_EQ(std::tuple(logLines(), relaunched.summaries().size(), relaunched.lastError()),
              std::tuple(QStringList{"roster refresh: failed TessaronPairingError 3"}, 2, std::nullopt));

    pairing.forget(source.id);
    run(relaunched.pullRoster(source.id));
    EXPECT_EQ(std::tuple(relaunched.summaries().size(), managed.loadManagedProfiles().size()),
              std::tuple(0, 0));
}

// A sync never blames the user for the connection it could not remove; it removes it once the link ends.
// A roster over the reply cap is refused: the list keeps what it had, the log and the person are told why.
TEST_F(SessionRosterTest, ARosterOverTheReplyCapIsRefusedAndSaidSo) {
    const QString tooLarge =
        "This invitation lists more servers than Tessaron can load, so some are not shown.";
    const QString refused = "roster refresh: refused, reply larger than 65536 bytes";
    // How many nodes the roster lists, and the message shown before the pull; the saved connections, the
    // message and the roster lines after it.
    const std::tuple<int, std::optional<QString>, qsizetype, std::optional<QString>, QStringList> rows[] = {
        {50, std::nullopt, 50, std::nullopt, {}},
        {200, std::nullopt, 50, tooLarge, {refused}},
        {200,
         "Tessaron could not reach the service.",
         50,
         "Tessaron could not reach the service.",
         {refused}},
    };
    auto& session = withSource();
    for (const auto& [count, before, saved, after, lines] : rows) {
        SCOPED_TRACE(count);
        session.setLastError(before);
        log.clear();
        QList<TessaronProfile> profiles{source};
        for (int node = 1; node < count; ++node)
            profiles.append(sampleProfile(QStringLiteral("Node%1").arg(node)));
        pull(profiles);
        EXPECT_EQ(std::tuple(session.summaries().size(), session.lastError(), linesStartingWith("roster")),
                  std::tuple(saved, after, lines));
    }
}

TEST_F(SessionRosterTest, AConnectedLinkPullsItsRosterEveryFiveMinutesAndItsRemovalWaitsForTheLinkToEnd) {
    auto& session = startSelected({source});
    pull({source, bergen});
    session.select(bergen.id);
    connectFully();
    const auto pullsAfter = [&, base = rosterPulls().size()](Clock::Duration step) {
        advance(step);
        return rosterPulls().size() - base;
    };
    // The first poll, two seconds into the link, pulls at once; the next one five minutes later.
    EXPECT_EQ(pullsAfter(2s), 1);
    EXPECT_EQ(pullsAfter(298s), 1);
    pairing.failNextRosters({503});
    EXPECT_EQ(pullsAfter(2s), 2);
    // The failed pull is tried once more at the next poll, two seconds on.
    EXPECT_EQ(pullsAfter(2s), 3);
    EXPECT_EQ(pullsAfter(30s), 3);

    pull({source});
    EXPECT_EQ(std::tuple(session.lastError(), session.summaries().size()), std::tuple(std::nullopt, 2));
    session.userStopTapped();
    settle();
    EXPECT_EQ(std::tuple(session.summaries().size(), session.selectedID(), tunnels.stored().size()),
              std::tuple(1, std::nullopt, 0));
}

// A roster pulled after a failed start is adopted like any other while its node is still watched: once the
// link is up over the node's other transport, a paused node is left.
TEST_F(SessionRosterTest, ARosterPulledAfterAFailedStartLeavesAPausedNodeOnceTheLinkIsUp) {
    const auto alta = sampleProfile("Alta", {}, true);
    const auto cork = sampleProfile("Cork");
    manage(alta, {cork});
    auto& session = ready({alta, cork});
    const auto now = clock.now();
    TessaronRosterResponse roster{{alta, cork}, {}, {}, std::nullopt, std::nullopt};
    roster.health = {{alta.id, {true, now, true, now.addDays(9), 0.2, false}},
                     {cork.id, {true, now, false, std::nullopt, 0.4, false}}};
    pairing.setRoster(alta.id, roster);
    pairing.setDelay(5s);
    tunnel().failNextStart(PlatformError(tunnel_failure::domain, tunnel_failure::serverUnreachable));
    tunnel().setStartSteps(
        {{Clock::Duration::zero(), VpnStatus::connecting}, {Clock::Duration::zero(), VpnStatus::connected}});
    run(session.connect());
    advance(250ms);
    ASSERT_EQ(std::tuple(session.selectedID(), session.activeTransport(), session.phase()),
              std::tuple(std::optional(alta.id), TessaronTransport::xhttp, TessaronLinkPhase::connected))
        << logText();
    EXPECT_EQ(linesAfter(5s, "failover: paused"), QStringList{"failover: paused \u2192 Cork (tcp)"})
        << logText();
}

} // namespace
