// Connects the real session through the real tunnel to a pairing service (the local one), leaves the link
// idle and reports what the client and the tunnel cost per second: CPU time and voluntary context switches
// (wake-ups), in the foreground and in the background.
//
//   tessaron-idle-cost <invitation code> [seconds per phase]
//
// For tools/measure-ui-idle.sh, which drives the real application, two other uses:
//   tessaron-idle-cost --consent    records the privacy consent, as the sheet would
//   tessaron-idle-cost --heading    prints the heading of the table
//   tessaron-idle-cost --watch <pid> <phase> <seconds>    a row: what that process costs
//
// Run it with its own keyring and folders: tools/measure-idle.sh does.
#include "process_usage.hpp"

#include "platform/bundle_info.hpp"
#include "platform/json_file_preferences.hpp"
#include "platform/system_clock.hpp"
#include "platform/tunnel_endpoint.hpp"
#include "profiles/access_input.hpp"
#include "profiles/connection_log.hpp"
#include "profiles/identifiers.hpp"
#include "session/assumed_sign_in.hpp"
#include "session/linux_session_services.hpp"
#include "session/session_keys.hpp"
#include "session/tessaron_session.hpp"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>

#include <cstdio>
#include <functional>

using namespace tessaron;
using namespace std::chrono;

namespace {

// Lets events run for `duration` without a timer of its own beyond the one that ends the wait.
void runFor(Clock::Duration duration) {
    QEventLoop loop;
    auto& clock = SystemClock::shared();
    clock.schedule(clock.monotonic() + duration, Clock::Duration::zero(), [&loop] { loop.quit(); });
    loop.exec();
}

bool waitUntil(const std::function<bool()>& condition, seconds limit) {
    for (auto waited = 0ms; !condition() && waited < limit; waited += 100ms)
        runFor(100ms);
    return condition();
}

QByteArray loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("unknown");
}

void report(const char* phase, const char* process, const idle_cost::ProcessUsage& before,
            const idle_cost::ProcessUsage& after, Clock::Duration elapsed) {
    const double seconds = duration<double>(elapsed).count();
    const auto all = after.since(before);
    const auto main = after.mainThreadSince(before);
    std::printf("%-11s %-7s %8.4f %% %10.2f %14.2f\n", phase, process,
                100 * duration<double>(all.cpu).count() / seconds, double(all.voluntarySwitches) / seconds,
                double(main.voluntarySwitches) / seconds);
}

bool measure(const char* phase, pid_t tunnel, seconds length) {
    const auto& clock = SystemClock::shared();
    const auto clientBefore = idle_cost::ProcessUsage::of(getpid());
    const auto tunnelBefore = idle_cost::ProcessUsage::of(tunnel);
    const auto start = clock.monotonic();
    runFor(length);
    const auto elapsed = clock.monotonic() - start;
    const auto clientAfter = idle_cost::ProcessUsage::of(getpid());
    const auto tunnelAfter = idle_cost::ProcessUsage::of(tunnel);
    if (!clientBefore || !clientAfter || !tunnelBefore || !tunnelAfter)
        return false;
    report(phase, "client", *clientBefore, *clientAfter, elapsed);
    report(phase, "tunnel", *tunnelBefore, *tunnelAfter, elapsed);
    return true;
}

// A coroutine takes its arguments by value or pointer.
QCoro::Task<> redeemAfterLaunch(TessaronSession* session, QUrl link, bool* redeemed) {
    co_await session->bootstrap();
    co_await session->openInvitationLink(std::move(link));
    *redeemed = true;
}

int fail(const char* message) {
    std::fprintf(stderr, "tessaron-idle-cost: %s\n", message);
    return 1;
}

// The connection log tells why a link did not come up.
int failWithLog(const char* message) {
    for (const auto& entry : TessaronConnectionLog::shared().entries())
        std::fprintf(stderr, "  %s\n", qPrintable(entry.text));
    return fail(message);
}

void recordConsent() {
    standardPreferences().setValue(session_keys::privacyConsent, true);
    standardPreferences().setValue(session_keys::privacyConsentVersion, TessaronIdentifiers::consentVersion);
}

void printHeading() {
    std::printf("%-11s %-7s %10s %10s %14s\n", "phase", "process", "cpu", "wake-ups/s", "main thread/s");
}

int watch(const QString& process, const char* phase, seconds length) {
    bool isPid = false;
    const pid_t pid = process.toInt(&isPid);
    if (!isPid)
        return fail("--watch takes the pid of the process to measure");
    const auto& clock = SystemClock::shared();
    const auto before = idle_cost::ProcessUsage::of(pid);
    const auto start = clock.monotonic();
    runFor(length);
    const auto after = idle_cost::ProcessUsage::of(pid);
    if (!before || !after)
        return fail("the program ended while it was measured");
    report(phase, "app", *before, *after, clock.monotonic() - start);
    return 0;
}

int measureConnected(const QUrl& link, seconds length) {
    recordConsent();
    AssumedSignIn signIn;
    LinuxSessionServices services(SessionSurroundings::standard(), signIn);
    TessaronSession session(services.services());
    session.applicationBecameActive(true);
    session.setSceneIsActive(true);
    bool redeemed = false;
    redeemAfterLaunch(&session, link, &redeemed);
    if (!waitUntil([&] { return redeemed; }, 60s))
        return failWithLog("the invitation was not redeemed");
    if (!waitUntil([&] { return session.vpnStatus() == VpnStatus::connected; }, 60s))
        return failWithLog("the link did not come up");
    // The tunnel this session started: the one serving this run's own socket (its runtime folder is the
    // run's), not another run's copy of the same program.
    const auto endpoint = TunnelEndpoint::standard();
    const auto tunnel =
        idle_cost::processRunning(endpoint.program, {QStringLiteral("--socket"), endpoint.socketName});
    if (!tunnel)
        return fail("no tunnel process found");
    // Let the connect's own checks and pulls finish before measuring the idle link.
    runFor(15s);

    std::printf("load before: %s\n", loadAverage().constData());
    printHeading();
    bool measured = measure("foreground", *tunnel, length);
    session.applicationResignedActive();
    session.setSceneIsActive(false);
    runFor(5s);
    measured = measured && measure("background", *tunnel, length);
    std::printf("load after: %s\n", loadAverage().constData());

    session.userStopTapped();
    waitUntil([&] { return session.phase() == TessaronLinkPhase::disconnected; }, 10s);
    return measured ? 0 : fail("a process ended while it was measured");
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.value(0) == QLatin1String("--consent")) {
        recordConsent();
        return 0;
    }
    if (arguments.value(0) == QLatin1String("--heading")) {
        printHeading();
        return 0;
    }
    if (arguments.value(0) == QLatin1String("--watch") && arguments.size() == 4)
        return watch(arguments[1], arguments[2].toLocal8Bit().constData(), seconds(arguments[3].toInt()));
    if (arguments.isEmpty())
        return fail("usage: tessaron-idle-cost <invitation code> [seconds per phase]");
    const auto link =
        TessaronAccessInput::invitationConnectURL(arguments[0], BundleInfo::main().pairingBaseURL());
    if (!link)
        return fail("this build names no pairing service");
    return measureConnected(*link, seconds(arguments.size() > 1 ? arguments[1].toInt() : 60));
}
