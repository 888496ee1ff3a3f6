#include "sign_in_options.hpp"

namespace tessaron::sign_in {

std::variant<Options, QString> parseOptions(QCommandLineParser& parser, const QStringList& arguments) {
    parser.setApplicationDescription(
        QStringLiteral("Signs in with an e-mail code, installs the account's profile and connects once."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("email"), QStringLiteral("The account's e-mail address."));
    const QCommandLineOption service(QStringLiteral("service"),
                                     QStringLiteral("A local service instead of the configured one."),
                                     QStringLiteral("url"));
    const QCommandLineOption ca(QStringLiteral("ca"),
                                QStringLiteral("The authority that signed the service."),
                                QStringLiteral("file"));
    const QCommandLineOption codeLog(QStringLiteral("code-log"),
                                     QStringLiteral("The local service's log, to read the code from."),
                                     QStringLiteral("file"));
    parser.addOptions({service, ca, codeLog});
    if (!parser.parse(arguments))
        return parser.errorText();
    if (parser.positionalArguments().size() != 1)
        return QString();

    Options options{.email = parser.positionalArguments().front(),
                    .service = std::nullopt,
                    .authorities = std::nullopt,
                    .codeLog = parser.value(codeLog)};
    if (parser.isSet(service)) {
        options.service = QUrl(parser.value(service));
        options.authorities = QSslCertificate::fromPath(parser.value(ca));
        if (options.service->scheme() != u"https" || options.authorities->isEmpty())
            return QStringLiteral("--service needs an https URL and --ca the file of its authority.");
    }
    return options;
}

} // namespace tessaron::sign_in
