// What a launch waits for before its node list shows, over the real Secret Service. Run it inside the
// suite's private keyring, never against your own:
//   tests/support/with-keyring.sh ./build-release/bin/tessaron_keyring_listing_bench
#include "platform/secret_service_keychain.hpp"
#include "profiles/keychain_store.hpp"
#include "screens/home_fixture.hpp"
#include "session/session_harness.hpp"
#include "support/run_task.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <memory>

#include <benchmark/benchmark.h>

namespace {

using namespace tessaron;
using namespace tessaron::testing;

SecretServiceKeychain& keyring() {
    static SecretServiceKeychain keychain;
    return keychain;
}

// The store the session's harness uses, over the real keyring.
TessaronKeychainStore profileStore() {
    const SessionHarness harness;
    return TessaronKeychainStore(keyring(), harness.bundle);
}

// Exactly `count` saved nodes, every other one with an XHTTP section. Only in the throwaway keyring of
// tests/support/with-keyring.sh: the bench removes what it finds there.
bool saveNodes(benchmark::State& state, int count) {
    if (qEnvironmentVariableIsEmpty("TESSARON_TEST_KEYRING_PASSWORD")) {
        state.SkipWithError("run it inside tests/support/with-keyring.sh");
        return false;
    }
    const auto store = profileStore();
    for (const auto& summary : store.listProfiles().summaries)
        store.remove(summary.id);
    for (int i = 0; i < count; ++i) {
        const auto node = sampleProfile(QStringLiteral("Node %1").arg(i),
                                        QStringLiteral("node-%1.test").arg(i), i % 2 == 0);
        store.storeItem(node.canonicalJSON(), node.id);
    }
    return true;
}

// Until the keyring's thread has done all it was asked, so one sample's work never runs into the next.
void drainKeyring() {
    runTask(keyring().run([] {}), std::chrono::seconds(60));
}

// From the session's start to its list published, over `state.range(0)` saved nodes.
void publishedList(benchmark::State& state) {
    const auto count = state.range(0);
    if (!saveNodes(state, int(count)))
        return;
    for (auto _ : state) {
        drainKeyring();
        SessionHarness harness;
        harness.keyring = &keyring();
        QElapsedTimer elapsed;
        elapsed.start();
        auto& session = harness.start();
        track(session.bootstrap());
        while (session.summaries().size() < count)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.SetIterationTime(double(elapsed.nsecsElapsed()) / 1e9);
    }
    drainKeyring();
}
BENCHMARK(publishedList)->Arg(10)->Arg(130)->UseManualTime()->Repetitions(5)->Unit(benchmark::kMillisecond);

// Everything until the event loop would sleep: posted layouts, the paints of the window, deferred deletes.
void settleWindow() {
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// What a person sees of it: from the session's start, with the home window shown at once as the
// application shows it, to the window laid out and painted with every node's row.
void shownList(benchmark::State& state) {
    const auto count = state.range(0);
    if (!saveNodes(state, int(count)))
        return;
    double rows = 0;
    for (auto _ : state) {
        drainKeyring();
        auto world = std::make_unique<HomeWorld>();
        world->harness.keyring = &keyring();
        QElapsedTimer elapsed;
        elapsed.start();
        auto& view = world->view();
        view.resize(480, 600);
        view.show();
        track(world->harness.session->bootstrap());
        while (world->harness.session->summaries().size() < count)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        settleWindow();
        state.SetIterationTime(double(elapsed.nsecsElapsed()) / 1e9);
        // A list that showed fewer rows than saved nodes would be timed short.
        const auto names = view.findChildren<QWidget*>(QStringLiteral("tessaron.node.name"));
        rows = double(
            std::ranges::count_if(names, [&](const QWidget* name) { return name->isVisibleTo(&view); }));
        world.reset();
        settleWindow();
    }
    state.counters["rows"] = rows;
    drainKeyring();
}
BENCHMARK(shownList)->Arg(10)->Arg(130)->UseManualTime()->Repetitions(5)->Unit(benchmark::kMillisecond);

// The baseline: the keyring work a list waited for when it read each listed node again to learn its
// transports (over today's listing, so the reads per node alone make the difference).
void listingWithAReadPerNode(benchmark::State& state) {
    if (!saveNodes(state, int(state.range(0))))
        return;
    const auto store = profileStore();
    for (auto _ : state) {
        auto list = [store] {
            auto listing = store.listProfiles();
            for (const auto& summary : listing.summaries)
                benchmark::DoNotOptimize(store.profile(summary.id));
            return listing;
        };
        benchmark::DoNotOptimize(runTask(keyring().run(std::move(list)), std::chrono::seconds(60)));
    }
}
BENCHMARK(listingWithAReadPerNode)
    ->Arg(10)
    ->Arg(130)
    ->Iterations(3)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

} // namespace
