#include "app/application_session.hpp"

#include "account/device_name.hpp"
#include "profiles/installation_identity.hpp"
#include "updates/crash_reporter.hpp"

#include <QFileInfo>
#include <QGuiApplication>

#include <utility>

namespace tessaron {

namespace {

TessaronAccountServices accountServices(WebAuthSession& webAuth, TessaronDeviceSwapCenter& deviceSwap) {
    return {
        .client = TessaronAccountClient::makeDefault(),
        .tokenStore = TessaronSessionTokenStore(systemKeychain(), BundleInfo::main()),
        .linkStore = TessaronSubscriptionLinkStore(systemKeychain(), BundleInfo::main()),
        .installationID = [] { return installationID(); },
        .deviceName = currentDeviceName,
        .keychain = systemKeychain(),
        .webAuth = webAuth,
        .deviceSwap = deviceSwap,
    };
}

} // namespace

std::function<void()> crashReportingStart(TessaronCrashReporter& reporter, CrashReportingParts parts) {
    return [&reporter, parts = std::move(parts)] {
        reporter.start(parts);
    };
}

TessaronSessionServices withApplicationHooks(TessaronSessionServices services,
                                             TessaronApplicationMover& mover) {
    services.startCrashReporting = crashReportingStart(TessaronCrashReporter::shared());
    services.revealApplication = [&mover](std::function<void()> followUp) {
        mover.moveOrReveal(QCoreApplication::applicationDirPath(), std::move(followUp));
    };
    return services;
}

ApplicationAccount::ApplicationAccount()
    : swapCenter_(swapPresenter_)
    , account_(accountServices(webSignIn_, swapCenter_), false)
    , homeAccount_(account_)
    , accountScreens_(account_) {
    homeAccount_.hold();
}

ApplicationSession::ApplicationSession(Workspace& workspace, ApplicationAccount& account)
    : account_(account)
    , mover_(moveFileSystem_, workspace, BundleInfo::main().locations().applicationsFolder,
             QFileInfo(QCoreApplication::applicationFilePath()).fileName())
    , services_(SessionSurroundings::standard(), account_.model())
    , activator_(services_.services().activator)
    , session_(withApplicationHooks(services_.services(), mover_))
    , router_(account_.webSignIn(),
              [session = &session_](const QUrl& url) { session->openInvitationLink(url); }) {}

void ApplicationSession::start() {
    followApplicationState();
}

void ApplicationSession::startAfterFirstPaint() {
    if (std::exchange(startedAfterFirstPaint_, true))
        return;
    // The refresh skips its work under the test harness.
    startAccountAfterFirstPaint(
        account_.home(), account_.model(),
        !qEnvironmentVariableIsSet(TessaronAccountModel::testHarnessVariable.constData()));
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
