#include "platform/qt_http_transport.hpp"

#include <QCoreApplication>
#include <QPromise>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace tessaron::testing {
namespace {

QCoro::Task<> keepOutcome(QtHttpTransport* transport, CancellationToken cancellation,
                          std::shared_ptr<std::optional<HttpOutcome>> outcome) {
    HttpRequest request;
    request.url = QUrl(QStringLiteral("https://127.0.0.1:9/"));
    auto sent = co_await transport->send(std::move(request), std::move(cancellation));
    *outcome = std::move(sent);
}

bool endedCancelled(const std::optional<HttpOutcome>& outcome) {
    const auto* failure = outcome ? std::get_if<HttpFailure>(&*outcome) : nullptr;
    return failure && failure->kind == HttpFailure::Kind::cancelled;
}

// The TLS settings are made once per process on a pool thread that may be busy for long. A request waiting
// for them ends with its caller or with its transport, each on its own, and resumes from the event loop:
// never inside the call that ended it, often an owner's destructor whose members the waiter would still use.
TEST(TlsSettingsWaitTest, EndsWithTheCallerOrTheTransportAloneAndResumesFromTheEventLoop) {
    for (const bool transportEnds : {true, false}) {
        SCOPED_TRACE(transportEnds ? "the transport ends" : "the caller cancels");
        QPromise<QSslConfiguration> settings;
        settings.start();
        auto transport = std::make_unique<QtHttpTransport>(
            QtHttpTransportOptions{.trustedAuthorities = std::nullopt,
                                   .timeoutDivisor = 1,
                                   .productionSettings = [future = settings.future()] {
                                       return future;
                                   }});
        CancellationSource caller;
        auto outcome = std::make_shared<std::optional<HttpOutcome>>();
        keepOutcome(transport.get(), caller.token(), outcome);
        QCoreApplication::processEvents();
        ASSERT_FALSE(*outcome) << "the settings are still being made";

        if (transportEnds)
            transport.reset();
        else
            caller.cancel();
        EXPECT_FALSE(*outcome) << "resumed inside the call that ended it";
        QCoreApplication::processEvents();
        EXPECT_TRUE(endedCancelled(*outcome)) << "still waiting for the settings";

        // The settings that come later resume nothing.
        settings.addResult(QSslConfiguration::defaultConfiguration());
        settings.finish();
        QCoreApplication::processEvents();
    }
}

} // namespace
} // namespace tessaron::testing
