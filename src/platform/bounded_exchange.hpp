#pragma once

#include "platform/clock.hpp"
#include "platform/http_transport.hpp"

namespace tessaron {

// Sends one request and ends the whole exchange once `limit` has passed on the clock. The transport's own
// time-out only catches a stalled transfer, so a server that drips its reply could otherwise hold the
// request open indefinitely. A passed limit comes back as HttpFailure::timedOut, the caller's cancellation
// as HttpFailure::cancelled. The transport and the clock must outlive the exchange.
QCoro::Task<HttpOutcome> sendWithinLimit(HttpTransport* transport, Clock* clock, Clock::Duration limit,
                                         HttpRequest request, CancellationToken cancellation);

} // namespace tessaron
