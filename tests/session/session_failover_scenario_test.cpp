#include "session_link_fixture.hpp"

#include "platform/tunnel_contract.hpp"
#include "session/error_sanitizer.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

constexpr auto connecting = TessaronLinkPhase::connecting;
constexpr auto disconnected = TessaronLinkPhase::disconnected;

// How every start of the tunnel ends: refused or timed out by the tunnel itself, or never (the tunnel keeps
// connecting until the connect watchdog gives the attempt up).
enum class Failure { refused, timedOut, hangs };

struct FailingRun {
    int starts = 0;
    TessaronLinkPhase phase = disconnected;
    std::optional<QString> notice;
    // Log lines that close an attempt: the tunnel's error, or the watchdog's word.
    qsizetype attemptLines = 0;
    qsizetype switches = 0;
    qsizetype giveUps = 0;

    friend bool operator==(const FailingRun&, const FailingRun&) = default;
    friend std::ostream& operator<<(std::ostream& out, const FailingRun& run) {
        return out << "starts " << run.starts << ", " << title(run.phase).toStdString() << ", notice \""
                   << run.notice.value_or("none").toStdString() << "\", attempt lines " << run.attemptLines
                   << ", switches " << run.switches << ", give-ups " << run.giveUps;
    }
};

// More starts than any course takes: one that never settles (a failure charged to the wrong transport
// retries for ever) stops here and fails at once rather than running for minutes.
constexpr int startCap = 12;

// Connects (with the node choice or straight to the selected node) and lets the failing tunnel run for three
// minutes, long after failover has settled and well within the policy's window, or until the starts pass
// the cap.
FailingRun connectAndFail(SessionHarness& h, Failure failure, bool chosen = true) {
    h.log.clear();
    const auto startsBefore = h.tunnel().startCount();
    track(chosen ? h.session->connect() : h.session->startSelectedConnection());
    const auto runCapped = [&](Clock::Duration total, Clock::Duration step) {
        for (auto ran = Clock::Duration::zero();
             ran < total && h.tunnel().startCount() - startsBefore <= startCap; ran += step)
            h.advance(step);
    };
    runCapped(120s, failure == Failure::hangs ? 250ms : 50ms);
    runCapped(60s, 1s);
    const auto attempts =
        h.linesStartingWith("disconnect failure:").size() + h.linesStartingWith("connect watchdog:").size();
    return {h.tunnel().startCount() - startsBefore,
            h.session->phase(),
            h.session->lastError(),
            attempts,
            h.linesStartingWith("switched to").size(),
            h.linesStartingWith("failover gave up").size()};
}

// A node whose tunnel fails at every start is tried over each of its transports and failover moves on within
// its budget of three switches; then the session rests disconnected with one notice, and the next connect
// has a fresh budget.
TEST(SessionFailoverScenarioTest, ATunnelThatFailsAtEveryStartIsHeldToThePolicy) {
    const auto alta = sampleProfile("Alta", {}, true);
    const auto bergen = sampleProfile("Bergen");
    const auto cork = sampleProfile("Cork", {}, true);
    const auto dover = sampleProfile("Dover", {}, true);
    const auto evje = sampleProfile("Evje");
    const auto unreachable = TessaronErrorSanitizer::message(
        PlatformError(tunnel_failure::domain, tunnel_failure::serverUnreachable));
    const auto timedOut = TessaronErrorSanitizer::message(
        PlatformError(tunnel_failure::domain, tunnel_failure::connectTimedOut));
    const auto noInternet = TessaronSession::autoDisconnectNotice();

    // Saved nodes (the first selected), whether the choice of node is on, how the tunnel fails; the starts,
    // the notice and whether failover gave up.
    const std::tuple<const char*, QList<TessaronProfile>, bool, Failure, int, QString, bool> rows[] = {
        {"one XHTTP node, choice on", {alta}, true, Failure::refused, 2, unreachable, false},
        {"one XHTTP node, choice off", {alta}, false, Failure::refused, 2, unreachable, false},
        {"one TCP node", {bergen}, true, Failure::refused, 1, unreachable, false},
        {"one XHTTP node timing out", {alta}, true, Failure::timedOut, 2, timedOut, false},
        {"several nodes, choice off", {alta, bergen, evje}, false, Failure::refused, 2, unreachable, false},
        {"several nodes, choice on",
         {alta, bergen, cork, dover, evje},
         true,
         Failure::refused,
         7,
         unreachable,
         true},
        {"TCP nodes timing out",
         {bergen, evje, sampleProfile("Fana")},
         true,
         Failure::timedOut,
         3,
         timedOut,
         true},
        {"several nodes that never come up", {alta, bergen, evje}, true, Failure::hangs, 4, noInternet, true},
    };
    for (const auto& [name, nodes, autoSelect, failure, starts, notice, gaveUp] : rows) {
        SCOPED_TRACE(name);
        SessionHarness h;
        h.ready(nodes, autoSelect);
        if (failure != Failure::hangs) {
            const bool refused = failure == Failure::refused;
            h.tunnelFailsAfterStart(refused ? 10ms : 8s, refused ? tunnel_failure::serverUnreachable
                                                                 : tunnel_failure::connectTimedOut);
        }
        const FailingRun expected{starts, disconnected, notice, starts, starts - 1, gaveUp};
        EXPECT_EQ(connectAndFail(h, failure), expected) << h.logText();
        if (!gaveUp)
            continue;
        // The budget spent, the next connect starts failover afresh and runs the same course, whichever way
        // the person starts it.
        for (const bool chosen : {true, false}) {
            EXPECT_EQ(connectAndFail(h, failure, chosen), expected) << h.logText();
            EXPECT_TRUE(h.logged("failover budget reset after auto-disconnect"));
        }
    }
}

// The tunnel's status can read down while the session still shows the start on its way: the start ended
// before it was reported, or was never reported at all. The session follows the tunnel at once rather than
// holding the person in connecting or disconnecting.
TEST(SessionFailoverScenarioTest, AStartTheTunnelNoLongerCarriesLeavesItsPhaseAtOnce) {
    const auto refused = PlatformError(tunnel_failure::domain, tunnel_failure::serverUnreachable);
    // Whether the start is refused before it is reported (else it is never reported), whether the choice of
    // node is on, whether the user stops 1 s after the tap; the phase and the switches 13 s after the tap.
    const std::tuple<const char*, bool, bool, bool, TessaronLinkPhase, QStringList> rows[] = {
        {"refused before it was reported", true, false, false, disconnected, {}},
        {"never reported, stopped by the user", false, false, true, disconnected, {}},
        {"never reported, left by failover", false, true, false, connecting, {"switched to Bergen"}},
    };
    for (const auto& [name, refusedEarly, autoSelect, userStops, phase, switches] : rows) {
        SCOPED_TRACE(name);
        SessionHarness h;
        auto& session = h.ready({sampleProfile("Alta"), sampleProfile("Bergen")}, autoSelect);
        h.tunnel().setStartSteps(refusedEarly
                                     ? QList<FakeVpnConnection::Step>{{0s, VpnStatus::connecting},
                                                                      {0s, VpnStatus::disconnected, refused}}
                                     : QList<FakeVpnConnection::Step>{});
        h.run(session.connect());
        h.advance(1s);
        if (userStops)
            session.userStopTapped();
        h.runFor(12s, 250ms);
        const auto notice =
            refusedEarly ? std::optional(TessaronErrorSanitizer::message(refused)) : std::nullopt;
        EXPECT_EQ(std::tuple(session.phase(), session.lastError(), h.linesStartingWith("switched to")),
                  std::tuple(phase, notice, switches))
            << h.logText();
    }
}

} // namespace
