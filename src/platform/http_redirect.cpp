#include "platform/http_redirect.hpp"

#include <algorithm>
#include <initializer_list>

namespace tessaron {

namespace {

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool becomesGet(int status, const QByteArray& method) {
    if (status == 303)
        return method != "HEAD";
    return (status == 301 || status == 302) && method == "POST";
}

bool sameOrigin(const QUrl& a, const QUrl& b) {
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port(443) == b.port(443);
}

void removeHeaders(HttpHeaders& headers, std::initializer_list<const char*> names) {
    headers.removeIf([names](const auto& header) {
        return std::any_of(names.begin(), names.end(), [&header](const char* name) {
            return header.first.compare(name, Qt::CaseInsensitive) == 0;
        });
    });
}

} // namespace

std::optional<HttpRequest> redirectedRequest(const HttpRequest& request, const HttpResponse& response) {
    const auto location = response.header("Location");
    if (!isRedirect(response.status) || location.isEmpty())
        return std::nullopt;
    const auto target = request.url.resolved(QUrl::fromEncoded(location));
    if (!target.isValid() || target.scheme() != QLatin1String("https"))
        return std::nullopt;

    HttpRequest next = request;
    next.url = target;
    if (becomesGet(response.status, request.method)) {
        next.method = "GET";
        next.body.clear();
        removeHeaders(next.headers, {"Content-Type", "Content-Encoding", "Content-Length"});
    }
    if (!sameOrigin(request.url, target))
        removeHeaders(next.headers, {"Authorization", "Cookie", "Proxy-Authorization"});
    return next;
}

} // namespace tessaron
