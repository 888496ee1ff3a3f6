#pragma once

#include <QCommandLineParser>
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <variant>

namespace tessaron::sign_in {

struct Options {
    QString email;
    // None signs in at the service the build is configured for.
    std::optional<QUrl> service;
    // None trusts the authorities the build trusts.
    std::optional<QList<QSslCertificate>> authorities;
    QString codeLog;
};

// What the command line `arguments` (the program's name first) asks for, or the text that says why it
// cannot be done: empty when the usage says it best. `parser` is left knowing the options, for the usage.
std::variant<Options, QString> parseOptions(QCommandLineParser& parser, const QStringList& arguments);

} // namespace tessaron::sign_in
