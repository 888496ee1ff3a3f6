#include "update_routes.hpp"

#include "service_reply.hpp"
#include "updates/crash_report.hpp"

#include <QJsonDocument>

#include <fstream>
#include <sstream>

namespace tessaron::local_service {

namespace {

std::string announcedRelease(const ServiceContext& context) {
    if (!context.dataFolder.empty()) {
        if (std::ifstream stored(context.dataFolder / "release.json"); stored) {
            std::ostringstream content;
            content << stored.rdbuf();
            return content.str();
        }
    }
    const QJsonObject release{{"version", "0.0.1"},
                              {"build", 1},
                              {"url", QString::fromStdString(context.origin() + "/download/mac")}};
    return QJsonDocument(release).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

void addUpdateRoutes(httplib::Server& server, const ServiceContext& context) {
    server.Post("/v1/diagnostics/crash", [](const httplib::Request& request, httplib::Response& response) {
        try {
            TessaronCrashReport::decoded(QByteArray::fromStdString(request.body));
        } catch (const std::exception&) {
            send(response, ServiceReply::refusal(400, QStringLiteral("invalid_report")));
            return;
        }
        send(response, {202, QJsonObject{{"received", true}}});
    });
    server.Get("/releases/mac/latest.json", [context](const httplib::Request&, httplib::Response& response) {
        response.set_content(announcedRelease(context), "application/json");
    });
    server.Get("/download/mac", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("Tessaron for Linux: install the new version from your package source.\n",
                             "text/plain");
    });
}

} // namespace tessaron::local_service
