#pragma once

#include <QString>

#include <string>

namespace tessaron::local_service {

// Stands in for the provider's sign-in page: asks which e-mail address to sign in as and posts the
// answer, with the sign-in's state, to "/oauth/complete".
std::string webSignInPage(const QString& provider, const QString& state);

// Shown while the browser hands the callback to the app, with a link for a browser that does not.
std::string returnToAppPage(const QString& callbackURL);

} // namespace tessaron::local_service
