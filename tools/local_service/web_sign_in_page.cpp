#include "web_sign_in_page.hpp"

namespace tessaron::local_service {

namespace {

const QString defaultEmail = QStringLiteral("developer@tessaron.test");

QString providerName(const QString& provider) {
    return provider == u"whop" ? QStringLiteral("Whop") : QStringLiteral("Google");
}

std::string page(const QString& title, const QString& body) {
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>%1</title>"
                          "<style>body{font-family:sans-serif;max-width:28em;margin:4em auto;line-height:1.5}"
                          "input,button{font-size:1em;padding:.3em .6em}</style></head><body><h1>%1</h1>%2"
                          "</body></html>\n")
        .arg(title.toHtmlEscaped(), body)
        .toStdString();
}

} // namespace

std::string webSignInPage(const QString& provider, const QString& state) {
    const QString name = providerName(provider);
    return page(
        QStringLiteral("Sign in with %1").arg(name),
        QStringLiteral(
            "<p>The local service stands in for %1. Sign in to Tessaron as:</p>"
            "<form method=\"post\" action=\"/oauth/complete\">"
            "<input type=\"hidden\" name=\"state\" value=\"%2\">"
            "<p><input type=\"email\" name=\"email\" value=\"%3\" size=\"30\" required></p>"
            "<p><button type=\"submit\" name=\"action\" value=\"continue\">Continue</button> "
            "<button type=\"submit\" name=\"action\" value=\"cancel\" formnovalidate>Cancel</button></p>"
            "</form>")
            .arg(name.toHtmlEscaped(), state.toHtmlEscaped(), defaultEmail));
}

std::string returnToAppPage(const QString& callbackURL) {
    return page(QStringLiteral("Back to Tessaron"),
                QStringLiteral("<p>Your browser should now open Tessaron. If it does not, "
                               "<a href=\"%1\">open Tessaron</a>.</p>")
                    .arg(callbackURL.toHtmlEscaped()));
}

} // namespace tessaron::local_service
