#include "platform/http_redirect.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using tessaron::HttpHeaders;
using tessaron::HttpRequest;
using tessaron::HttpResponse;
using tessaron::redirectedRequest;

namespace {

bool hasHeader(const HttpHeaders& headers, const QByteArray& name) {
    return std::any_of(headers.begin(), headers.end(), [&name](const auto& header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

struct RedirectCase {
    const char* name;
    QByteArray method;
    int status;
    QByteArray location;
    // Empty when the redirect is not followed.
    QByteArray expectedMethod;
    QString expectedUrl;
    bool keepsBody;
    bool keepsCredentials;
};

const RedirectCase redirectCases[] = {
    {"relative location", "GET", 302, "/next?page=2", "GET", "https://api.example/next?page=2", true, true},
    {"see other after a post", "POST", 303, "/done", "GET", "https://api.example/done", false, true},
    {"see other after a head", "HEAD", 303, "/done", "HEAD", "https://api.example/done", true, true},
    {"found after a post", "POST", 302, "/moved", "GET", "https://api.example/moved", false, true},
    {"moved after a put", "PUT", 301, "/moved", "PUT", "https://api.example/moved", true, true},
    {"temporary keeps the post", "POST", 307, "/again", "POST", "https://api.example/again", true, true},
    {"permanent keeps the put", "PUT", 308, "/again", "PUT", "https://api.example/again", true, true},
    {"other host", "GET", 302, "https://cdn.example/file", "GET", "https://cdn.example/file", true, false},
    {"other port", "GET", 302, "https://api.example:8443/x", "GET", "https://api.example:8443/x", true,
     false},
    {"never down to http", "GET", 302, "http://api.example/plain", {}, {}, false, false},
    {"not modified", "GET", 304, "/elsewhere", {}, {}, false, false},
    {"no location", "GET", 302, {}, {}, {}, false, false},
};

TEST(HttpRedirectTest, FollowsOnlyWhatIsSafeToFollow) {
    for (const auto& c : redirectCases) {
        SCOPED_TRACE(c.name);
        HttpRequest request;
        request.method = c.method;
        request.url = QUrl(QStringLiteral("https://api.example/start"));
        request.headers = {
            {"Authorization", "Bearer t"}, {"Content-Type", "application/json"}, {"X-Trace", "1"}};
        request.body = "{}";
        HttpResponse response{.status = c.status, .headers = {}, .body = {}};
        if (!c.location.isEmpty())
            response.headers.append({"location", c.location});

        const auto next = redirectedRequest(request, response);

        if (c.expectedMethod.isEmpty()) {
            EXPECT_FALSE(next.has_value());
            continue;
        }
        ASSERT_TRUE(next.has_value());
        EXPECT_EQ(next->method, c.expectedMethod);
        EXPECT_EQ(next->url, QUrl(c.expectedUrl));
        EXPECT_EQ(next->body, c.keepsBody ? request.body : QByteArray());
        EXPECT_EQ(hasHeader(next->headers, "Content-Type"), c.keepsBody);
        EXPECT_EQ(hasHeader(next->headers, "Authorization"), c.keepsCredentials);
        EXPECT_TRUE(hasHeader(next->headers, "X-Trace"));
    }
}

} // namespace
