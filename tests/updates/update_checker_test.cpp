#include "support/fake_http_transport.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"
#include "updates/update_checker.hpp"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

const QUrl feedURL(QStringLiteral("https://tessaron.test/releases/mac/latest.json"));
const QUrl downloadPage(QStringLiteral("https://tessaron.test/download/mac"));

// Records what the checker asks of the framework; its delegate is the checker's.
class RecordingFramework final : public UpdateFramework {
public:
    void start() override { ++starts; }
    void checkForUpdatesInBackground() override { ++backgroundChecks; }
    void checkForUpdates() override {}
    bool canCheckForUpdates() const override { return true; }
    UpdateFrameworkDelegate* checkerDelegate() const { return delegate(); }

    int starts = 0;
    int backgroundChecks = 0;
};

BundleInfo bundle(QVariantMap extra = {}) {
    QVariantMap info{{"CFBundleShortVersionString", "1.2"}, {"CFBundleVersion", "120"}};
    info.insert(extra);
    ProgramLocations locations;
    locations.downloadPage = downloadPage;
    return BundleInfo(info, locations);
}

QByteArray feedBody(const QString& version, std::optional<QString> minimum = std::nullopt) {
    QJsonObject object{{"version", version}, {"build", 1}, {"url", "https://tessaron.test/get"}};
    if (minimum)
        object.insert(QStringLiteral("minimumVersion"), *minimum);
    return QJsonDocument(object).toJson();
}

QByteArray upgradeBody(qint64 build, const QString& version) {
    return QStringLiteral(R"({"error":"upgrade_required","minimumBuild":%1,"minimumVersion":"%2"})")
        .arg(QString::number(build), version)
        .toUtf8();
}

class UpdateCheckerTest : public ::testing::Test {
protected:
    UpdateCheckerTest() {
        transport.setResponder([this](const HttpRequest&) -> HttpOutcome {
            if (feedStatus == 0)
                return HttpFailure{HttpFailure::Kind::timedOut, {}};
            return HttpResponse{.status = feedStatus, .headers = {}, .body = feed, .truncated = false};
        });
    }

    std::unique_ptr<TessaronUpdateChecker> makeChecker(QVariantMap info = {},
                                                       TessaronServerUpgradeGate* upgradeGate = nullptr) {
        return std::make_unique<TessaronUpdateChecker>(
            UpdateCheckerServices{clock, defaults, releaseFeed, upgradeGate ? *upgradeGate : gate, framework,
                                  bundle(std::move(info))});
    }
    qsizetype fetches() const { return transport.requests().size(); }

    ManualClock clock;
    MemoryPreferences defaults;
    MemoryPreferences gatePreferences;
    TessaronServerUpgradeGate gate{gatePreferences};
    FakeHttpTransport transport;
    ReleaseFeed releaseFeed{transport, feedURL};
    RecordingFramework framework;
    int feedStatus = 200;
    QByteArray feed = feedBody(QStringLiteral("1.2"));
};

TEST_F(UpdateCheckerTest, ReadsThePollInterval) {
    const std::vector<std::pair<QVariant, Clock::Duration>> cases{
        {QVariant(), 21'600s},  {30, 21'600s},
        {59.9, 21'600s},        {60, 60s},
        {3'600.5, 3'600'500ms}, {QStringLiteral("120"), 21'600s},
    };
    for (const auto& [value, interval] : cases) {
        QVariantMap info;
        if (value.isValid())
            info.insert(QStringLiteral("SUScheduledCheckInterval"), value);
        EXPECT_EQ(TessaronUpdateChecker::pollInterval(bundle(info)), interval)
            << value.toString().toStdString();
    }
}

TEST_F(UpdateCheckerTest, PollsTheFeedOneIntervalApartAndOnLateActivations) {
    auto checker = makeChecker({{"SUScheduledCheckInterval", 60}});
    EXPECT_EQ(framework.starts, 1);
    ASSERT_EQ(fetches(), 1);
    EXPECT_EQ(transport.requests().front().url, feedURL);
    EXPECT_EQ(transport.requests().front().headers, (HttpHeaders{{"Accept", "application/json"}}));
    clock.advance(59'999ms);
    EXPECT_EQ(fetches(), 1);
    clock.advance(1ms);
    EXPECT_EQ(fetches(), 2);

    const auto slow = makeChecker();
    checker.reset();
    const auto before = fetches();
    clock.advance(599s);
    slow->didBecomeActive();
    EXPECT_EQ(fetches(), before);
    clock.advance(1s);
    slow->didBecomeActive();
    EXPECT_EQ(fetches(), before + 1);
}

// Forced checks at most every ten minutes, installs at once only while required, and the floor and a server
// requirement keep the update required across restarts until a feed's minimum is met.
TEST_F(UpdateCheckerTest, RequiresTheFeedsMinimumAndKeepsItThroughTheFloorOrAServerRequirement) {
    feed = feedBody(QStringLiteral("1.5"), QStringLiteral("1.3"));
    auto checker = makeChecker();
    ASSERT_TRUE(checker->required());
    EXPECT_EQ(checker->required()->version, QStringLiteral("1.5"));
    EXPECT_EQ(checker->available(), std::nullopt);
    EXPECT_EQ(framework.backgroundChecks, 1);
    QSignalSpy required(checker.get(), &TessaronUpdateChecker::requiredChanged);
    int installs = 0;
    const auto installOnQuit = [&] {
        return framework.checkerDelegate()->willInstallUpdateOnQuit({"1.5", downloadPage},
                                                                    [&] { ++installs; });
    };
    EXPECT_TRUE(installOnQuit());
    EXPECT_EQ(installs, 1);

    clock.advance(599s);
    checker->didBecomeActive(); // a refresh, but not yet a forced check
    EXPECT_EQ(framework.backgroundChecks, 1);
    clock.advance(1s);
    checker->didBecomeActive(); // the same release: nothing published, yet the rule runs
    EXPECT_EQ(framework.backgroundChecks, 2);
    EXPECT_TRUE(required.isEmpty());

    // Required again after a pause: at once, whatever the last forced check was.
    feed = feedBody(QStringLiteral("1.5"));
    clock.advance(600s);
    checker->didBecomeActive();
    EXPECT_EQ(checker->required(), std::nullopt);
    EXPECT_FALSE(installOnQuit());
    EXPECT_EQ(installs, 1);
    feed = feedBody(QStringLiteral("1.6"), QStringLiteral("1.4"));
    clock.advance(600s);
    checker->didBecomeActive();
    EXPECT_EQ(framework.backgroundChecks, 3);

    // Restarted with the feed answering anything but 200: the floor keeps the update required.
    for (const int status : {304, 404, 500, 0}) {
        feedStatus = status;
        checker = makeChecker();
        ASSERT_TRUE(checker->required()) << status;
        EXPECT_EQ(*checker->required(), (TessaronReleaseInfo{"1.4", 0, downloadPage, downloadPage, "1.4"}))
            << status;
    }
    // A server requirement rules over the floor while it lasts.
    gate.observe(426, upgradeBody(0, QString()));
    EXPECT_EQ(checker->required()->version, QStringLiteral("9999.0.0"));
    gate.observe(204, std::nullopt);
    EXPECT_EQ(checker->required()->version, QStringLiteral("1.4"));

    // The feed back with a met minimum clears it.
    feedStatus = 200;
    feed = feedBody(QStringLiteral("1.5"), QStringLiteral("1.2"));
    clock.advance(600s);
    checker->didBecomeActive();
    EXPECT_EQ(checker->required(), std::nullopt);
    EXPECT_EQ(defaults.text(TessaronReleaseInfo::floorKey), std::nullopt);
    ASSERT_TRUE(checker->available());
    EXPECT_EQ(checker->available()->version, QStringLiteral("1.5"));
    // A feed that fails afterwards leaves the newer release on offer.
    feedStatus = 500;
    clock.advance(600s);
    checker->didBecomeActive();
    EXPECT_TRUE(checker->available());
}

TEST_F(UpdateCheckerTest, DropsAStoredServerRequirementTheInstalledBuildMeets) {
    struct Case {
        const char* name;
        qint64 minimumBuild;
        QString minimumVersion;
        bool blocks;
    };
    const std::vector<Case> cases{
        {"build met", 120, "9.0", false},   {"build above", 121, "1.0", true},
        {"version met", 0, "1.2.0", false}, {"version above", 0, "1.2.1", true},
        {"names neither", 0, "", true},     {"invalid version", 0, "1.x", true},
    };
    for (const auto& c : cases) {
        gate.observe(426, upgradeBody(c.minimumBuild, c.minimumVersion));
        TessaronServerUpgradeGate restoredGate(gatePreferences); // as at the next start
        const auto checker = makeChecker({}, &restoredGate);
        EXPECT_EQ(checker->required().has_value(), c.blocks) << c.name;
        EXPECT_EQ(restoredGate.requirement().has_value(), c.blocks) << c.name;
        EXPECT_EQ(gatePreferences.keys().contains(TessaronServerUpgradeGate::storageKey), c.blocks) << c.name;
        gate.clear();
    }
}

} // namespace
} // namespace tessaron::testing
