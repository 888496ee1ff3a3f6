#include "account/oauth_callback.hpp"
#include "app/instance_forwarder.hpp"
#include "app/opened_url_router.hpp"
#include "platform/linux_web_auth_session.hpp"
#include "support/fake_browser.hpp"
#include "support/run_task.hpp"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace tessaron {
namespace {

using namespace std::chrono_literals;

// Starts of the real application, kept to this test's runtime and data folders.
class InstanceForwarderTest : public ::testing::Test {
protected:
    std::unique_ptr<QProcess> startApp(const QStringList& arguments = {}) {
        auto app = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* folder : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            environment.insert(QString::fromLatin1(folder), home.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        app->setProcessEnvironment(environment);
        app->start(QStringLiteral(TESSARON_APPLICATION), arguments);
        return app;
    }
    // "exit 0", or what else became of the process, with its error output.
    static std::string endOf(QProcess& app) {
        if (!app.waitForFinished(10'000))
            return "still running after 10 s";
        if (app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0)
            return "exit 0";
        return QStringLiteral("exit %1 (%2): %3")
            .arg(QString::number(app.exitCode()),
                 app.exitStatus() == QProcess::NormalExit ? "normal" : "crashed",
                 QString::fromLocal8Bit(app.readAllStandardError()))
            .toStdString();
    }
    QString socketFile() const { return home.filePath(QStringLiteral("tessaron-app.socket")); }

    QTemporaryDir home;
};

// The web sign-in's callback comes to a second start, which hands it over; later starts hand their links on
// to the invitation flow, and a start without one raises the instance.
TEST_F(InstanceForwarderTest, LaterStartsHandTheCallbackAndLinksToTheInstanceWhichRoutesThem) {
    InstanceForwarder instance(home.path());
    ASSERT_EQ(instance.start(std::nullopt), InstanceForwarder::Role::primary);
    EXPECT_EQ(QFile::permissions(socketFile()) & 0077, QFile::Permissions());
    LinuxWebAuthSession webSignIn;
    QList<QUrl> invitations;
    OpenedUrlRouter router(webSignIn, [&invitations](const QUrl& url) { invitations.append(url); });
    QObject::connect(&instance, &InstanceForwarder::urlOpened,
                     [&router](const QUrl& url) { router.open(url); });

    const QString callback = QStringLiteral("tessaron://auth/callback?code=c%2B1&state=s1");
    std::unique_ptr<QProcess> handing;
    // Opening the sign-in page ends, as the desktop does it, in a start of the app with the callback.
    testing::FakeBrowser browser([&] { handing = startApp({callback}); });
    const auto signedIn =
        testing::runTask(webSignIn.authorize(QUrl(QStringLiteral("https://accounts.test/authorize")),
                                             QStringLiteral("tessaron")),
                         10s);
    EXPECT_EQ(signedIn.callbackUrl, QUrl::fromEncoded(callback.toLatin1()));
    EXPECT_EQ(parseOAuthCallback(signedIn.callbackUrl).code, QStringLiteral("c+1")) << "decoded once, whole";
    EXPECT_EQ(endOf(*handing), "exit 0");

    const QString link = QStringLiteral("https://tessaron.app/i/abc?code=1");
    const QString ownLink = QStringLiteral("tessaron://connect?invite=abc");
    QSignalSpy raised(&instance, &InstanceForwarder::raiseRequested);
    QSignalSpy opened(&instance, &InstanceForwarder::urlOpened);
    for (const QStringList& arguments : {QStringList{link}, QStringList{ownLink}, QStringList{}}) {
        const auto later = startApp(arguments);
        ASSERT_TRUE(arguments.isEmpty() ? raised.wait(10'000) : opened.wait(10'000));
        EXPECT_EQ(endOf(*later), "exit 0");
    }
    EXPECT_EQ(invitations, (QList{QUrl(link), QUrl(ownLink)}));
    EXPECT_EQ(raised.size(), 1) << "no URL asks for a raise";
}

TEST_F(InstanceForwarderTest, ACrashedInstanceIsReplaced) {
    const auto crashed = startApp();
    for (int tries = 0; tries < 100 && !QFile::exists(socketFile()); ++tries)
        crashed->waitForFinished(100);
    crashed->kill();
    crashed->waitForFinished();
    ASSERT_TRUE(QFile::exists(socketFile()));

    InstanceForwarder next(home.path());
    EXPECT_EQ(next.start(std::nullopt), InstanceForwarder::Role::primary);
}

} // namespace
} // namespace tessaron
