#include "account_routes.hpp"

#include "account_service.hpp"
#include "web_sign_in_page.hpp"

#include "platform/system_clock.hpp"

#include <memory>

namespace tessaron::local_service {

namespace {

using Request = httplib::Request;
using Response = httplib::Response;
using Service = std::shared_ptr<AccountService>;

// A body that is not a JSON object reads as an empty one, which every operation refuses as incomplete.
QJsonObject bodyOf(const Request& request) {
    return requestObject(request).value_or(QJsonObject());
}

std::optional<QString> bearerToken(const Request& request) {
    const std::string prefix = "Bearer ";
    const std::string authorization = request.get_header_value("Authorization");
    if (authorization.rfind(prefix, 0) != 0)
        return std::nullopt;
    return QString::fromStdString(authorization.substr(prefix.size()));
}

QString parameter(const Request& request, const char* name) {
    return QString::fromStdString(request.get_param_value(name));
}

void sendToApp(Response& response, const QString& callbackURL) {
    response.set_redirect(callbackURL.toStdString(), 303);
    response.set_content(returnToAppPage(callbackURL), "text/html; charset=utf-8");
}

void addSignInRoutes(httplib::Server& server, const Service& service) {
    server.Get("/v1/auth/providers", [](const Request&, Response& response) {
        // Sign in with Apple needs Apple's servers; this service offers the rest.
        send(response, ServiceReply::ok({{QStringLiteral("email"), true},
                                         {QStringLiteral("apple"), false},
                                         {QStringLiteral("google"), true},
                                         {QStringLiteral("whop"), true}}));
    });
    server.Post("/v1/auth/email/start", [service](const Request& request, Response& response) {
        send(response, service->startEmailSignIn(bodyOf(request)));
    });
    server.Post("/v1/auth/email/verify", [service](const Request& request, Response& response) {
        send(response, service->verifyEmailCode(bodyOf(request)));
    });
    server.Post("/v1/auth/oauth/start", [service](const Request& request, Response& response) {
        send(response, service->startWebSignIn(bodyOf(request)));
    });
    server.Post("/v1/auth/oauth/exchange", [service](const Request& request, Response& response) {
        send(response, service->exchangeWebCode(bodyOf(request)));
    });
    server.Post("/v1/auth/logout", [service](const Request& request, Response& response) {
        send(response, service->logout(bearerToken(request)));
    });
}

void addWebSignInPages(httplib::Server& server, const Service& service) {
    server.Get("/oauth/authorize", [service](const Request& request, Response& response) {
        const QString state = parameter(request, "state");
        if (const auto provider = service->webSignInProvider(state))
            response.set_content(webSignInPage(*provider, state), "text/html; charset=utf-8");
        else
            sendToApp(response, service->finishWebSignIn(state, std::nullopt));
    });
    server.Post("/oauth/complete", [service](const Request& request, Response& response) {
        const bool continued = parameter(request, "action") == u"continue";
        sendToApp(response, service->finishWebSignIn(parameter(request, "state"),
                                                     continued ? std::optional(parameter(request, "email"))
                                                               : std::nullopt));
    });
}

void addAccountEndpoints(httplib::Server& server, const Service& service) {
    server.Get("/v1/account", [service](const Request& request, Response& response) {
        send(response, service->account(bearerToken(request)));
    });
    server.Delete("/v1/account", [service](const Request& request, Response& response) {
        send(response, service->deleteAccount(bearerToken(request)));
    });
    server.Post("/v1/account/profile", [service](const Request& request, Response& response) {
        const bool deviceSwap = request.get_header_value("X-Tessaron-Device-Swap") == "1";
        send(response, service->grantProfile(bearerToken(request), bodyOf(request), deviceSwap));
    });
    server.Post("/v1/account/link", [service](const Request& request, Response& response) {
        send(response, service->linkProfile(bearerToken(request), bodyOf(request)));
    });
    server.Get("/v1/account/subscription-link", [service](const Request& request, Response& response) {
        send(response, service->subscriptionLinkStatus(bearerToken(request)));
    });
    server.Post("/v1/account/subscription-link", [service](const Request& request, Response& response) {
        send(response, service->createSubscriptionLink(bearerToken(request), bodyOf(request)));
    });
    server.Delete("/v1/account/subscription-link", [service](const Request& request, Response& response) {
        send(response, service->deleteSubscriptionLink(bearerToken(request)));
    });
    server.Get("/v1/sub/([A-Za-z0-9_-]{43})", [service](const Request& request, Response& response) {
        const auto subscription = service->subscription(QString::fromStdString(request.matches[1]));
        send(response, subscription ? ServiceReply::ok(*subscription)
                                    : ServiceReply::refusal(404, QStringLiteral("not_found")));
    });
}

} // namespace

void addAccountRoutes(httplib::Server& server, const ServiceContext& context) {
    std::optional<std::filesystem::path> stateFile;
    if (!context.dataFolder.empty())
        stateFile = context.dataFolder / "accounts.json";
    auto service = std::make_shared<AccountService>(SystemClock::shared(), context.seeds, context.origin(),
                                                    std::move(stateFile));
    addSignInRoutes(server, service);
    addWebSignInPages(server, service);
    addAccountEndpoints(server, service);
}

} // namespace tessaron::local_service
