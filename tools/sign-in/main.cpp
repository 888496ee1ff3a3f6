// tessaron-sign-in EMAIL [--service URL --ca FILE] [--code-log FILE]
// Signs in with an e-mail code, lets the account model install the profile of the account's grant into a
// session built on the Linux parts as the application builds it, connects through the tunnel and prints
// the phase reached; then disconnects again.
#include "email_code.hpp"
#include "sign_in_options.hpp"
#include "terminal_swap_presenter.hpp"

#include "account/account_model.hpp"
#include "account/device_name.hpp"
#include "platform/json_file_preferences.hpp"
#include "platform/linux_system_extension_requests.hpp"
#include "platform/linux_web_auth_session.hpp"
#include "platform/system_clock.hpp"
#include "platform/vpn_configuration_store.hpp"
#include "profiles/identifiers.hpp"
#include "profiles/installation_identity.hpp"
#include "session/linux_session_services.hpp"
#include "session/system_extension_activator.hpp"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <qcoro/qcorotask.h>

#include <cstdio>

namespace tessaron::sign_in {
namespace {

using namespace std::chrono_literals;

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// The build's Info file, pointed at `service` and its connection check when one is given.
BundleInfo bundleFor(const std::optional<QUrl>& service) {
    if (!service)
        return BundleInfo::main();
    QFile file(QCoreApplication::applicationDirPath() + u'/' + BundleInfo::infoFileName);
    QVariantMap info;
    if (file.open(QIODevice::ReadOnly))
        info = QJsonDocument::fromJson(file.readAll()).object().toVariantMap();
    info.insert(QStringLiteral("TessaronPairingBaseURL"), service->toString());
    auto locations = ProgramLocations::builtIn();
    locations.reachabilityPage = service->resolved(QUrl(QStringLiteral("/success.txt")));
    return BundleInfo(info, locations);
}

// Waits while events run until `done` holds; false after `timeout`. Callers name the condition first: a
// lambda temporary inside a co_await expression is destroyed twice by this compiler.
QCoro::Task<bool> waitUntil(std::function<bool()> done, std::chrono::milliseconds timeout) {
    for (auto waited = 0ms; !done(); waited += 100ms) {
        if (waited >= timeout)
            co_return false;
        co_await SystemClock::shared().sleep(100ms);
    }
    co_return true;
}

QCoro::Task<bool> signIn(TessaronAccountModel* account, TessaronSession* session, Options options) {
    const qint64 logOffset = options.codeLog.isEmpty() ? 0 : QFileInfo(options.codeLog).size();
    account->setEmail(options.email);
    co_await account->startEmailSignIn();
    if (account->lastError()) {
        say(QStringLiteral("sign-in failed: %1").arg(*account->lastError()));
        co_return false;
    }
    const auto code = options.codeLog.isEmpty()
                          ? promptForEmailCode(options.email)
                          : awaitEmailCodeInLog(options.codeLog, logOffset, options.email);
    if (!code) {
        say(QStringLiteral("no e-mail code"));
        co_return false;
    }
    account->acceptCode(*code);
    co_await account->verifyEmailCode(session);
    if (!account->isSignedIn()) {
        say(QStringLiteral("sign-in failed: %1").arg(account->lastError().value_or(QString())));
        co_return false;
    }
    say(QStringLiteral("signed in as %1")
            .arg(account->account() ? account->account()->email : options.email));
    co_return true;
}

// The sign-in's follow-up installs the grant's profile, asking first when another computer holds it.
QCoro::Task<bool> awaitGrantProfile(TessaronAccountModel* account, TessaronSession* session,
                                    TerminalSwapPresenter* presenter) {
    std::function<bool()> settled = [=] {
        return (session->selectedSummary() && !account->isBusy()) || account->lastError() ||
               presenter->declined();
    };
    co_await waitUntil(std::move(settled), 60s);
    const auto selected = session->selectedSummary();
    if (!selected) {
        say(QStringLiteral("no profile: %1")
                .arg(account->lastError().value_or(QStringLiteral("none installed"))));
        co_return false;
    }
    say(QStringLiteral("profile: %1 (%2:%3)")
            .arg(selected->name, selected->server, QString::number(selected->port)));
    co_return true;
}

// Connects, prints the phase the link settles in, and disconnects again.
QCoro::Task<bool> connectOnce(TessaronSession* session) {
    if (!session->consentGranted()) {
        session->grantPrivacyConsent();
        say(QStringLiteral("privacy consent given"));
    }
    co_await session->connect();
    std::function<bool()> settled = [=] {
        const auto phase = session->phase();
        return phase == TessaronLinkPhase::connected || phase == TessaronLinkPhase::checkFailed ||
               (phase == TessaronLinkPhase::disconnected && session->lastError());
    };
    co_await waitUntil(std::move(settled), 30s);
    const bool connected = session->phase() == TessaronLinkPhase::connected;
    say(QStringLiteral("phase: %1").arg(title(session->phase())));
    if (session->lastError())
        say(QStringLiteral("error: %1").arg(*session->lastError()));

    session->userStopTapped();
    std::function<bool()> stopped = [=] {
        return session->phase() == TessaronLinkPhase::disconnected;
    };
    co_await waitUntil(std::move(stopped), 10s);
    say(QStringLiteral("disconnected again"));
    co_return connected;
}

QCoro::Task<int> run(Options options) {
    const BundleInfo bundle = bundleFor(options.service);
    const auto baseURL = bundle.pairingBaseURL();
    if (!baseURL) {
        say(QStringLiteral("No https service is configured; name one with --service."));
        co_return 1;
    }
    const QtHttpTransportOptions http{.trustedAuthorities = options.authorities};
    auto& gate = TessaronServerUpgradeGate::shared();
    LinuxWebAuthSession web;
    TerminalSwapPresenter presenter;
    TessaronDeviceSwapCenter center(presenter);
    TessaronAccountModel account(
        {.client = TessaronAccountClient(
             *baseURL, std::make_shared<QtHttpTransport>(http), SystemClock::shared(),
             [&gate](int status, const QByteArray& body) { gate.observe(status, body); }),
         .tokenStore = TessaronSessionTokenStore(systemKeychain(), bundle),
         .linkStore = TessaronSubscriptionLinkStore(systemKeychain(), bundle),
         .installationID = [&bundle] { return installationID(systemKeychain(), bundle); },
         .deviceName = currentDeviceName,
         .keychain = systemKeychain(),
         .webAuth = web,
         .deviceSwap = center},
        false);
    // The program folder plays the applications folder, as it does for a build's tests.
    LinuxSystemExtensionRequests extensions(TessaronIdentifiers::tunnelExtensionBundle,
                                            TunnelEndpoint::defaultProgram());
    SystemExtensionActivator activator(
        extensions, SystemClock::shared(), TessaronConnectionLog::shared(),
        {QCoreApplication::applicationFilePath(), QCoreApplication::applicationDirPath()});
    LinuxSessionServices parts({.clock = SystemClock::shared(),
                                .preferences = standardPreferences(),
                                .groupPreferences = groupPreferences(),
                                .keychain = systemKeychain(),
                                .bundle = bundle,
                                .upgradeGate = gate,
                                .connectionLog = TessaronConnectionLog::shared(),
                                .activator = activator,
                                .tunnel = TunnelEndpoint::standard(),
                                .configurationsPath = VpnConfigurationStore::defaultPath(),
                                .http = http},
                               account);
    TessaronSession session(parts.services());
    co_await session.bootstrap();
    say(QStringLiteral("service: %1").arg(baseURL->toString()));

    const bool signedIn = co_await signIn(&account, &session, options);
    if (!signedIn)
        co_return 1;
    const bool installed = co_await awaitGrantProfile(&account, &session, &presenter);
    if (!installed)
        co_return 1;
    const bool connected = co_await connectOnce(&session);
    co_return connected ? 0 : 1;
}

std::optional<Options> parse(const QCoreApplication& application) {
    QCommandLineParser parser;
    const auto parsed = parseOptions(parser, application.arguments());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (const auto* problem = std::get_if<QString>(&parsed)) {
        if (problem->isEmpty())
            parser.showHelp(2);
        say(*problem);
        return std::nullopt;
    }
    return std::get<Options>(parsed);
}

} // namespace
} // namespace tessaron::sign_in

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("Tessaron"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("hallmere.com"));
    QCoreApplication application(argc, argv);
    const auto options = tessaron::sign_in::parse(application);
    if (!options)
        return 2;
    int status = 1;
    auto finished = [&status](int result) {
        status = result;
        QCoreApplication::quit();
    };
    auto failed = [](const std::exception& error) {
        std::fprintf(stderr, "failed: %s\n", error.what());
        QCoreApplication::quit();
    };
    tessaron::sign_in::run(*options).then(std::move(finished), std::move(failed));
    application.exec();
    return status;
}
