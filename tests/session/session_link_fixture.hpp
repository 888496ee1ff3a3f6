#pragma once

#include "session_harness.hpp"

#include "health/failover_candidate.hpp"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <ostream>

namespace tessaron {

inline void PrintTo(TessaronLinkPhase phase, std::ostream* out) {
    *out << title(phase).toStdString();
}

} // namespace tessaron

namespace tessaron::testing {

// A session with saved connections, consent and fresh rosters, whose tunnel configuration already exists,
// so that the test can script the tunnel before the first connect.
class LinkScenario {
public:
    // The first node is selected. Automatic selection as given.
    TessaronSession& ready(const QList<TessaronProfile>& profiles, bool autoSelect = true) {
        harness.preferences.setValue(QStringLiteral("tessaron.autoSelect"), autoSelect);
        harness.installConfiguration(profiles.first());
        return harness.startSelected(profiles);
    }

    TessaronSession& session() { return *harness.session; }
    void advance(Clock::Duration step) { harness.advance(step); }
    // Every connection check from now on passes or fails.
    void checksPass(bool pass) {
        harness.reachability.answer(pass ? FakeReachability::success() : FakeReachability::failure());
    }

    // Connects and lets the tunnel report connected at once.
    void connectAndComeUp() {
        harness.tunnel().setStartSteps({{Clock::Duration::zero(), VpnStatus::connecting},
                                        {Clock::Duration::zero(), VpnStatus::connected}});
        track(harness.session->connect());
        harness.settle();
    }

    // What the tunnel answers to "phase" from now on.
    void reportPhase(const QString& phase) {
        const QJsonObject report{
            {"phase", phase}, {"since", 1767225600.5}, {"attempts", 1}, {"lastError", {}}};
        harness.tunnel().setReply("phase", QJsonDocument(report).toJson(QJsonDocument::Compact));
    }

    // As if the node had carried a stable link earlier in this run.
    void rememberLastGood(const QUuid& id, TessaronTransport transport = TessaronTransport::tcp) {
        harness.preferences.setValue(
            QStringLiteral("tessaron.failover.lastGood"),
            QJsonDocument(FailoverCandidate{id, transport}.toJSON()).toJson(QJsonDocument::Compact));
    }

    bool logged(const QString& line) const { return harness.logLines().contains(line); }

    // The log lines that start with `prefix`, in order.
    QStringList linesStartingWith(const QString& prefix) const {
        QStringList lines;
        for (const auto& line : harness.logLines()) {
            if (line.startsWith(prefix))
                lines.append(line);
        }
        return lines;
    }

    // The log as one text, for a readable failure message.
    std::string logText() const { return harness.logLines().join(QStringLiteral("\n")).toStdString(); }

    SessionHarness harness;
};

class SessionLinkTest : public ::testing::Test, public LinkScenario {};

} // namespace tessaron::testing
