#include "health/connection_health_checker.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/task_slot.hpp"
#include "support/fake_http_transport.hpp"
#include "support/manual_clock.hpp"
#include "support/stalled_http_transport.hpp"

#include <QCoreApplication>
#include <QPromise>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

const QUrl page(QStringLiteral("https://reachability.test/success.txt"));

struct CheckerTest : ::testing::Test {
    template <typename T> static QCoro::Task<> store(QCoro::Task<T> t, std::optional<T>* into) {
        *into = co_await std::move(t);
    }

    ConnectionHealthChecker checker(HttpTransport& with) {
        return ConnectionHealthChecker(
            with, clock, [this](const QString& line) { lines.append(line); }, page);
    }

    ManualClock clock;
    FakeHttpTransport transport;
    QStringList lines;
};

} // namespace

TEST_F(CheckerTest, JudgesOneAttempt) {
    using Why = TessaronProbeFailure;
    using Kind = HttpFailure::Kind;
    const auto ok = [](const QByteArray& body) -> HttpOutcome {
        return HttpResponse{200, {}, body};
    };
    const QByteArray filler(8180, 'a');
    // Without a failure reason the attempt succeeded.
    const std::tuple<const char*, HttpOutcome, std::optional<Why>, const char*> cases[] = {
        {"lower case", ok("<HTML><BODY>success</BODY></HTML>"), std::nullopt, "success 0.00 s"},
        {"portal page", ok("Sign in to the hotel Wi-Fi"), Why::noSuccess(), "failure 0.00 s (no Success)"},
        {"portal status", HttpResponse{511, {}, "Success"}, Why::http(511), "failure 0.00 s (http 511)"},
        {"after the limit", ok(QByteArray(8192, 'a') + "Success"), Why::noSuccess(),
         "failure 0.00 s (no Success)"},
        {"ends at the limit", ok(QByteArray(8185, 'a') + "Success!!"), std::nullopt, "success 0.00 s"},
        // "€" is three bytes; the limit cuts it after its first two.
        {"cut inside a character", ok("Success" + filler + "bbb€€"), std::nullopt, "success 0.00 s"},
        {"timed out", HttpFailure{Kind::timedOut, {}}, Why::timeout(), "failure 0.00 s (timeout)"},
        {"name not resolved", HttpFailure{Kind::transport, "host not found"}, Why::error(),
         "failure 0.00 s (error)"},
    };
    using enum TessaronProbeResult;
    for (const auto& [name, reply, why, line] : cases) {
        SCOPED_TRACE(name);
        lines.clear();
        transport.enqueue(reply);
        std::optional<TessaronProbeOutcome> outcome;
        const auto probe = checker(transport);
        store(probe.probeOnce(1), &outcome);
        clock.runDue(); // the page answers
        EXPECT_EQ(outcome, (TessaronProbeOutcome{why ? failure : success, why}));
        EXPECT_EQ(lines, QStringList{QStringLiteral("check #1: ") + QString::fromUtf8(line)});
    }
}

TEST_F(CheckerTest, RetriesTwiceAfterOneAndTwoSecondsUntilASuccess) {
    QList<Clock::Duration> requestTimes;
    transport.setResponder([&](const HttpRequest&) -> HttpOutcome {
        requestTimes.append(clock.monotonic());
        return HttpResponse{503, {}, {}};
    });
    std::optional<TessaronProbeResult> result;
    const auto probe = checker(transport);
    store(probe.run(), &result);
    clock.advance(10s);
    EXPECT_EQ(result, TessaronProbeResult::failure);
    EXPECT_EQ(requestTimes, (QList<Clock::Duration>{0s, 1s, 3s}));
    EXPECT_EQ(lines.last(), QStringLiteral("check #3: failure 0.00 s (http 503)"));

    transport.setResponder({});
    transport.enqueue(200, "Not here");
    transport.enqueue(200, "Success");
    store(probe.run(), &result);
    clock.advance(10s);
    EXPECT_EQ(result, TessaronProbeResult::success);
    EXPECT_EQ(transport.requests().size(), 5);
}

TEST_F(CheckerTest, AnAttemptThatNeverEndsTimesOutAfterSixSecondsUnlessCancelledFirst) {
    StalledHttpTransport silent(clock);
    const auto stalled = checker(silent);
    std::optional<TessaronProbeOutcome> outcome;
    store(stalled.probeOnce(2), &outcome);
    clock.advance(5999ms);
    EXPECT_FALSE(outcome);
    clock.advance(1ms);
    EXPECT_EQ(outcome, (TessaronProbeOutcome{TessaronProbeResult::failure, TessaronProbeFailure::timeout()}));
    EXPECT_EQ(lines, QStringList{QStringLiteral("check #2: failure 6.00 s (timeout)")});

    CancellationSource cancellation;
    outcome.reset();
    store(stalled.probeOnce(1, cancellation.token()), &outcome);
    clock.advance(1s);
    cancellation.cancel();
    clock.runDue();
    EXPECT_EQ(outcome, (TessaronProbeOutcome{TessaronProbeResult::cancelled, std::nullopt}));
    EXPECT_EQ(lines.size(), 1) << "a cancelled attempt is no timeout and logs nothing";
    clock.advance(10s);
    EXPECT_EQ(clock.pendingCount(), 0u);

    // A run cancelled before or between its attempts ends quietly.
    transport.enqueue(503);
    const auto probe = checker(transport);
    for (const bool early : {true, false}) {
        CancellationSource source;
        if (early)
            source.cancel();
        std::optional<TessaronProbeResult> result;
        store(probe.run(source.token()), &result);
        clock.advance(500ms);
        source.cancel();
        clock.runDue();
        EXPECT_EQ(result, TessaronProbeResult::cancelled) << early;
    }
    EXPECT_EQ(transport.requests().size(), 1) << "the run cancelled early sends nothing";
    EXPECT_EQ(lines.size(), 2);
}

// A request the transport ended (it went away with its owner) says nothing about the link: the run ends as
// cancelled at once, logs no line and schedules no further attempt on a clock that may be gone too.
TEST_F(CheckerTest, ARunWhoseTransportEndedEndsCancelledWithoutALineOrAnotherAttempt) {
    transport.enqueue(HttpFailure{HttpFailure::Kind::cancelled, {}});
    std::optional<TessaronProbeResult> result;
    const auto probe = checker(transport);
    store(probe.run(), &result);
    clock.runDue();
    EXPECT_EQ(std::tuple(result, lines, clock.pendingCount(), transport.requests().size()),
              std::tuple(std::optional(TessaronProbeResult::cancelled), QStringList(), std::size_t(0), 1));
}

namespace {

QCoro::Task<> checkOnce(ConnectionHealthChecker checker, CancellationToken cancellation,
                        std::shared_ptr<bool> ended) {
    co_await checker.run(cancellation);
    *ended = true;
}

// A session's part in a check: its clock, its transport (whose TLS settings the test makes) and the slot
// its check runs in, started at once.
struct CheckOwner {
    CheckOwner(QFuture<QSslConfiguration> settings, std::shared_ptr<bool> ended)
        : transport(
              {.trustedAuthorities = std::nullopt, .timeoutDivisor = 1, .productionSettings = [settings] {
                   return settings;
               }}) {
        check.start([checker = checker, ended](CancellationToken cancellation) {
            return checkOnce(checker, cancellation, ended);
        });
    }

    ManualClock clock;
    QtHttpTransport transport;
    ConnectionHealthChecker checker{transport, clock, {}, QUrl(QStringLiteral("https://127.0.0.1:9/"))};
    TaskSlot check;
};

} // namespace

// The TLS settings are made once per process on a pool thread that may be busy: a check whose owner ends
// meanwhile ends with it, and is not resumed into the ended owner (its clock) when the settings come.
TEST(CheckerOwnerTest, ACheckWaitingForTheTlsSettingsEndsWithItsOwner) {
    QPromise<QSslConfiguration> settings;
    settings.start();
    auto ended = std::make_shared<bool>(false);
    // The owner's storage stays, as a stack frame's does, so a late use of its clock calls a dead object.
    std::optional<CheckOwner> owner(std::in_place, settings.future(), ended);
    QCoreApplication::processEvents();
    EXPECT_FALSE(*ended) << "the settings are still being made";
    owner.reset();
    QCoreApplication::processEvents();
    ASSERT_TRUE(*ended) << "the check still waits for the settings";
    settings.addResult(QSslConfiguration::defaultConfiguration());
    settings.finish();
    QCoreApplication::processEvents();
}
