#include "health/connection_health_checker.hpp"
#include "support/fake_http_transport.hpp"
#include "support/manual_clock.hpp"
#include "support/stalled_http_transport.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tessaron::CancellationSource;
using tessaron::Clock;
using tessaron::ConnectionHealthChecker;
using tessaron::HttpFailure;
using tessaron::HttpOutcome;
using tessaron::HttpRequest;
using tessaron::HttpResponse;
using tessaron::TessaronProbeFailure;
using tessaron::TessaronProbeOutcome;
using tessaron::TessaronProbeResult;
using tessaron::testing::FakeHttpTransport;
using tessaron::testing::ManualClock;
using tessaron::testing::StalledHttpTransport;

namespace {

const QUrl page(QStringLiteral("https://reachability.test/success.txt"));

template <typename T> QCoro::Task<> store(QCoro::Task<T> task, std::optional<T>* into) {
    *into = co_await std::move(task);
}

struct CheckerTest : ::testing::Test {
    ConnectionHealthChecker checker(tessaron::HttpTransport& with) {
        return ConnectionHealthChecker(
            with, clock, [this](const QString& line) { lines.append(line); }, page);
    }

    QList<Clock::Duration> requestTimes;
    ManualClock clock;
    FakeHttpTransport transport;
    QStringList lines;
};

} // namespace

TEST_F(CheckerTest, JudgesOneAttempt) {
    const QByteArray filler(8180, 'a');
    const auto success = TessaronProbeOutcome{TessaronProbeResult::success, std::nullopt};
    const auto failure = [](TessaronProbeFailure why) {
        return TessaronProbeOutcome{TessaronProbeResult::failure, why};
    };
    const std::tuple<const char*, HttpOutcome, TessaronProbeOutcome, const char*> cases[] = {
        {"lower case", HttpResponse{200, {}, "<HTML><BODY>success</BODY></HTML>"}, success,
         "check #1: success 0.00 s"},
        {"portal page", HttpResponse{200, {}, "Sign in to the hotel Wi-Fi"},
         failure(TessaronProbeFailure::noSuccess()), "check #1: failure 0.00 s (no Success)"},
        {"portal status", HttpResponse{511, {}, "Success"}, failure(TessaronProbeFailure::http(511)),
         "check #1: failure 0.00 s (http 511)"},
        {"word after the limit", HttpResponse{200, {}, QByteArray(8192, 'a') + "Success"},
         failure(TessaronProbeFailure::noSuccess()), "check #1: failure 0.00 s (no Success)"},
        {"word ends at the limit", HttpResponse{200, {}, QByteArray(8185, 'a') + "Success!!"}, success,
         "check #1: success 0.00 s"},
        // "€" is three bytes; the limit cuts it after its first two.
        {"cut inside a character", HttpResponse{200, {}, "Success" + filler + QByteArray(3, 'b') + "€€"},
         success, "check #1: success 0.00 s"},
        {"timed out", HttpFailure{HttpFailure::Kind::timedOut, {}}, failure(TessaronProbeFailure::timeout()),
         "check #1: failure 0.00 s (timeout)"},
        {"name not resolved", HttpFailure{HttpFailure::Kind::transport, QStringLiteral("host not found")},
         failure(TessaronProbeFailure::error()), "check #1: failure 0.00 s (error)"},
    };
    for (const auto& [name, reply, expected, line] : cases) {
        SCOPED_TRACE(name);
        lines.clear();
        transport.enqueue(reply);
        std::optional<TessaronProbeOutcome> outcome;
        store(checker(transport).probeOnce(1), &outcome);
        EXPECT_EQ(outcome, expected);
        EXPECT_EQ(lines, QStringList{QString::fromUtf8(line)});
    }
}

TEST_F(CheckerTest, RetriesTwiceAfterOneAndTwoSecondsUntilASuccess) {
    transport.setResponder([this](const HttpRequest&) -> HttpOutcome {
        requestTimes.append(clock.monotonic());
        return HttpResponse{503, {}, {}};
    });
    std::optional<TessaronProbeResult> result;
    store(checker(transport).run(), &result);
    clock.advance(10s);
    EXPECT_EQ(result, TessaronProbeResult::failure);
    EXPECT_EQ(requestTimes, (QList<Clock::Duration>{0s, 1s, 3s}));
    EXPECT_EQ(lines.last(), QStringLiteral("check #3: failure 0.00 s (http 503)"));

    transport.setResponder({});
    transport.enqueue(200, "Not here");
    transport.enqueue(200, "Success");
    store(checker(transport).run(), &result);
    clock.advance(10s);
    EXPECT_EQ(result, TessaronProbeResult::success);
    EXPECT_EQ(transport.requests().size(), 5);
}

TEST_F(CheckerTest, CancellationBeforeOrBetweenAttemptsEndsTheRunQuietly) {
    CancellationSource early;
    early.cancel();
    std::optional<TessaronProbeResult> result;
    store(checker(transport).run(early.token()), &result);
    EXPECT_EQ(result, TessaronProbeResult::cancelled);
    EXPECT_TRUE(transport.requests().isEmpty());

    transport.setResponder([](const HttpRequest&) -> HttpOutcome { return HttpResponse{503, {}, {}}; });
    CancellationSource during;
    result.reset();
    store(checker(transport).run(during.token()), &result);
    clock.advance(500ms);
    during.cancel();
    clock.runDue();
    EXPECT_EQ(result, TessaronProbeResult::cancelled);
    EXPECT_EQ(transport.requests().size(), 1);
    EXPECT_EQ(lines.size(), 1);
}

TEST_F(CheckerTest, AnAttemptThatNeverEndsTimesOutAfterSixSecondsUnlessCancelledFirst) {
    StalledHttpTransport silent(clock);
    std::optional<TessaronProbeOutcome> outcome;
    store(checker(silent).probeOnce(2), &outcome);
    clock.advance(5999ms);
    EXPECT_FALSE(outcome);
    clock.advance(1ms);
    EXPECT_EQ(outcome, (TessaronProbeOutcome{TessaronProbeResult::failure, TessaronProbeFailure::timeout()}));
    EXPECT_EQ(lines, QStringList{QStringLiteral("check #2: failure 6.00 s (timeout)")});

    CancellationSource cancellation;
    outcome.reset();
    store(checker(silent).probeOnce(1, cancellation.token()), &outcome);
    clock.advance(1s);
    cancellation.cancel();
    clock.runDue();
    EXPECT_EQ(outcome, (TessaronProbeOutcome{TessaronProbeResult::cancelled, std::nullopt}));
    EXPECT_EQ(lines.size(), 1) << "a cancelled attempt is no timeout and logs nothing";
    clock.advance(10s);
    EXPECT_EQ(clock.pendingCount(), 0u);
}
