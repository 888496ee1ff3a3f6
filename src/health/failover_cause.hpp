#pragma once

#include "platform/http_transport.hpp"

#include <exception>

namespace tessaron {

// Why a connect failed. Only the first two say something about the node, so only they count against it.
enum class TessaronFailoverCause { serverUnreachable, timedOut, other };

// The tunnel's own errors name the cause by code; every other error says nothing about the node.
TessaronFailoverCause failoverCause(const std::exception& error);
// A request that timed out, the one transport failure that points at the path to the node.
TessaronFailoverCause failoverCause(const HttpFailure& failure);

} // namespace tessaron
