#include "app/application_session.hpp"

#include "account/device_name.hpp"
#include "profiles/installation_identity.hpp"
#include "updates/crash_reporter.hpp"

#include <QGuiApplication>

namespace tessaron {

namespace {

TessaronSessionServices withCrashReporting(TessaronSessionServices services) {
    services.startCrashReporting = [] {
        TessaronCrashReporter::shared().start();
    };
    return services;
}

TessaronAccountServices accountServices(WebAuthSession& webAuth, TessaronDeviceSwapCenter& deviceSwap) {
    return {
        .client = TessaronAccountClient::makeDefault(),
        .tokenStore = TessaronSessionTokenStore(systemKeychain(), BundleInfo::main()),
        .linkStore = TessaronSubscriptionLinkStore(systemKeychain(), BundleInfo::main()),
        .installationID = [] { return installationID(); },
        .deviceName = currentDeviceName,
        .webAuth = webAuth,
        .deviceSwap = deviceSwap,
    };
}

} // namespace

ApplicationSession::ApplicationSession()
    : swapCenter_(swapPresenter_)
    , account_(accountServices(webSignIn_, swapCenter_), std::nullopt)
    , services_(SessionSurroundings::standard(), account_)
    , activator_(services_.services().activator)
    , session_(withCrashReporting(services_.services()))
    , router_(webSignIn_, [session = &session_](const QUrl& url) { session->openInvitationLink(url); }) {}

void ApplicationSession::start() {
    followApplicationState();
}

void ApplicationSession::followApplicationState() {
    QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, &session_,
                     [session = &session_](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive)
                             session->applicationBecameActive(true);
                         else
                             session->applicationResignedActive();
                     });
    // The launch has finished: the session learns whether the application is in front yet.
    session_.applicationBecameActive(QGuiApplication::applicationState() == Qt::ApplicationActive);
}

} // namespace tessaron
