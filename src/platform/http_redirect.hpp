#pragma once

#include "platform/http_transport.hpp"

#include <optional>

namespace tessaron {

// The request that follows `response` to where it points, or nothing when `response` is not a redirect that
// a transport follows. Redirects lead to HTTPS only. A 303, and a 301 or 302 after a POST, continue as a GET
// without body; other redirects repeat the request as it was. Credentials never leave their origin.
std::optional<HttpRequest> redirectedRequest(const HttpRequest& request, const HttpResponse& response);

} // namespace tessaron
