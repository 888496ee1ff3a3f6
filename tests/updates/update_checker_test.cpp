#include "profiles/decoding_error.hpp"
#include "support/fake_http_transport.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"
#include "support/stalled_http_transport.hpp"
#include "updates/crash_uploader.hpp"
#include "updates/release_info.hpp"
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

TessaronReleaseInfo decode(const QByteArray& members) {
    return TessaronReleaseInfo::decoded("{" + members + "}");
}

TEST(ReleaseRecordTest, ReadsTheBuildAsANumberOrNumericTextAndDropsOnlyOptionalFieldsItCannotRead) {
    const QByteArray rest = R"(,"version":"1.4","url":"https://tessaron.test/r")";
    // The build member, and the number it reads as (none: the record is refused for it).
    const std::pair<QByteArray, std::optional<qint64>> builds[] = {
        {R"("build":140)", 140}, {R"("build":"140")", 140}, {R"("build":"+140")", 140},
        {R"("build":"-3")", -3}, {R"("build":"")", {}},     {R"("build":"14a")", {}},
        {R"("build":"+")", {}},  {R"("build":" 14")", {}},  {R"("build":1.5)", {}},
        {R"("build":null)", {}}, {R"("b":1)", {}}};
    for (const auto& [build, expected] : builds) {
        try {
            EXPECT_EQ(std::optional(decode(build + rest).build), expected) << build.constData();
        } catch (const JsonDecodingError& error) {
            EXPECT_EQ(std::tuple(expected, error.key(), error.description()),
                      std::tuple(std::nullopt, QStringLiteral("build"),
                                 QStringLiteral("build must be a number or a numeric string")))
                << build.constData();
        }
    }

    // Optional fields it cannot read are dropped; a required one fails the record.
    const QByteArray required = R"("version":"1.4","build":1,"url":"https://tessaron.test/r")";
    const QUrl url(QStringLiteral("https://tessaron.test/r")),
        notes(QStringLiteral("https://tessaron.test/notes"));
    EXPECT_EQ(decode(required + R"(,"extra":[])"),
              (TessaronReleaseInfo{"1.4", 1, url, std::nullopt, std::nullopt}));
    EXPECT_EQ(decode(required + R"(,"page":"http://[x","minimumVersion":13)"),
              (TessaronReleaseInfo{"1.4", 1, url, std::nullopt, std::nullopt}));
    EXPECT_EQ(decode(required + R"(,"page":"https://tessaron.test/notes","minimumVersion":"1.3")"),
              (TessaronReleaseInfo{"1.4", 1, url, notes, QStringLiteral("1.3")}));

    for (const QByteArray broken : {R"("build":1,"url":"https://tessaron.test/r")",
                                    R"("version":14,"build":1,"url":"https://tessaron.test/r")",
                                    R"("version":"1.4","build":1)", R"("version":"1.4","build":1,"url":7)"}) {
        EXPECT_THROW(decode(broken), JsonDecodingError) << broken.constData();
    }
    EXPECT_THROW(TessaronReleaseInfo::decoded("[]"), JsonDecodingError);
}

TEST(VersionRulesTest, ValidatesVersionsAndComparesTheInstalledOneWithAnother) {
    for (const auto* valid : {"1", "1.2.3", "01.002"})
        EXPECT_TRUE(isValidVersion(QString::fromLatin1(valid))) << valid;
    for (const auto* invalid : {"", "1.", ".1", "1..2", "a1.2", "1.2-beta", " 1.2", "+1.2", "1.\u0662"})
        EXPECT_FALSE(isValidVersion(QString::fromUtf8(invalid))) << invalid;

    // Installed, other: whether the installed version is older.
    for (const auto& [installed, other, older] :
         std::initializer_list<std::tuple<QString, std::optional<QString>, bool>>{
             {"1.2", "1.2.0", false},
             {"1.2", "1.2.1", true},
             {"1.10", "1.9", false},
             {"2", "10", true},
             {"", "0.0.1", true},
             {"", "0", false},
             {"1.2", "1.3-beta", false},
             {"1.2", std::nullopt, false},
             {"1.2", "", false},
             {"1.2b", "1.1", true},
             {"1..2", "1.1", false},
             {"+4", "4", false},
             {"4.-2", "4", true},
             {"99999999999999999999.1", "0.2", true}})
        EXPECT_EQ(compareVersions(installed, other), older)
            << installed.toStdString() << " vs " << other.value_or("none").toStdString();
}

TessaronReleaseInfo feedRelease(std::optional<QString> minimum) {
    return {QStringLiteral("1.5"), 150, QUrl(QStringLiteral("https://tessaron.test/r")), std::nullopt,
            minimum};
}

TEST(VersionRulesTest, AppliesTheFloor) {
    using Release = std::optional<TessaronReleaseInfo>;
    using Version = std::optional<QString>;
    const TessaronReleaseInfo fromFloor{"1.3", 0, downloadPage, downloadPage, QStringLiteral("1.3")};
    // Installed, stored floor, fetched release: the floor stored afterwards and the release required.
    for (const auto& [name, installed, storedFloor, fetched, floorAfter, result] :
         std::initializer_list<std::tuple<const char*, QString, Version, Release, Version, Release>>{
             {"feed minimum above installed", "1.2", std::nullopt, feedRelease("1.3"), "1.3",
              feedRelease("1.3")},
             {"feed minimum met", "1.3", "1.3", feedRelease("1.3"), std::nullopt, std::nullopt},
             {"feed lowers a higher floor", "1.2", "2.0", feedRelease("1.3"), "1.3", feedRelease("1.3")},
             {"feed without minimum", "1.2", "1.3", feedRelease(std::nullopt), std::nullopt, std::nullopt},
             {"feed with invalid minimum", "1.2", "1.3", feedRelease("1.x"), std::nullopt, std::nullopt},
             {"no feed, floor above", "1.2", "1.3", std::nullopt, "1.3", fromFloor},
             {"no feed, floor met", "1.3", "1.3", std::nullopt, "1.3", std::nullopt},
             {"no feed, no floor", "1.2", std::nullopt, std::nullopt, std::nullopt, std::nullopt}}) {
        MemoryPreferences defaults;
        if (storedFloor)
            defaults.setValue(TessaronReleaseInfo::floorKey, *storedFloor);
        EXPECT_EQ(TessaronReleaseInfo::applyFloor(installed, fetched, defaults, downloadPage), result)
            << name;
        EXPECT_EQ(defaults.text(TessaronReleaseInfo::floorKey), floorAfter) << name;
    }
}

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

QByteArray upgradeBody(qint64 build, const QString& version, std::optional<QUrl> page = std::nullopt) {
    QJsonObject object{{"error", "upgrade_required"}, {"minimumBuild", build}, {"minimumVersion", version}};
    if (page)
        object.insert(QStringLiteral("page"), page->toString());
    return QJsonDocument(object).toJson();
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

    // Started, as the application starts it once its first picture is on screen, unless `started` is false.
    std::unique_ptr<TessaronUpdateChecker> makeChecker(QVariantMap info = {},
                                                       TessaronServerUpgradeGate* upgradeGate = nullptr,
                                                       bool started = true) {
        auto checker = std::make_unique<TessaronUpdateChecker>(
            UpdateCheckerServices{clock, defaults, releaseFeed, upgradeGate ? *upgradeGate : gate, framework,
                                  bundle(std::move(info))});
        if (started)
            checker->start();
        clock.runDue(); // the feed answers
        return checker;
    }
    qsizetype fetches() const { return transport.requests().size(); }
    // Comes to the front and lets the feed answer.
    void activate(TessaronUpdateChecker& checker) {
        checker.didBecomeActive();
        clock.runDue();
    }

    ManualClock clock;
    MemoryPreferences defaults;
    MemoryPreferences gatePreferences;
    TessaronServerUpgradeGate gate{gatePreferences};
    FakeHttpTransport transport;
    ReleaseFeed releaseFeed{transport, clock, feedURL};
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
    auto checker = makeChecker({{"SUScheduledCheckInterval", 60}}, nullptr, false);
    EXPECT_EQ(framework.starts, 1);
    checker->didBecomeActive();
    EXPECT_EQ(fetches(), 0) << "nothing is fetched before the checks start";
    checker->start();
    checker->start();
    ASSERT_EQ(fetches(), 1);
    EXPECT_EQ(transport.requests().front().url, feedURL);
    EXPECT_EQ(transport.requests().front().headers, (HttpHeaders{{"Accept", "application/json"}}));
    EXPECT_TRUE(transport.requests().front().followRedirects) << "a moved feed is still read";
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
    activate(*checker); // a refresh, but not yet a forced check
    EXPECT_EQ(framework.backgroundChecks, 1);
    clock.advance(1s);
    activate(*checker); // the same release: nothing published, yet the rule runs
    EXPECT_EQ(framework.backgroundChecks, 2);
    EXPECT_TRUE(required.isEmpty());

    // Required again after a pause: at once, whatever the last forced check was.
    feed = feedBody(QStringLiteral("1.5"));
    clock.advance(600s);
    activate(*checker);
    EXPECT_EQ(checker->required(), std::nullopt);
    EXPECT_FALSE(installOnQuit());
    EXPECT_EQ(installs, 1);
    feed = feedBody(QStringLiteral("1.6"), QStringLiteral("1.4"));
    clock.advance(600s);
    activate(*checker);
    EXPECT_EQ(framework.backgroundChecks, 3);

    // Restarted with the feed answering anything but 200: the floor keeps the update required.
    for (const int status : {304, 404, 500, 0}) {
        feedStatus = status;
        checker = makeChecker();
        ASSERT_TRUE(checker->required()) << status;
        EXPECT_EQ(*checker->required(), (TessaronReleaseInfo{"1.4", 0, downloadPage, downloadPage, "1.4"}))
            << status;
    }
    // A server requirement rules over the floor while it lasts; one that names no version asks for any.
    const QUrl page(QStringLiteral("https://tessaron.test/upgrade"));
    gate.observe(426, upgradeBody(210, QStringLiteral("2.1"), page));
    EXPECT_EQ(*checker->required(), (TessaronReleaseInfo{"2.1", 210, page, page, "2.1"}));
    gate.observe(426, upgradeBody(0, QString()));
    EXPECT_EQ(*checker->required(),
              (TessaronReleaseInfo{"9999.0.0", 0, downloadPage, downloadPage, "9999.0.0"}));
    gate.observe(204, std::nullopt);
    EXPECT_EQ(checker->required()->version, QStringLiteral("1.4"));

    // The feed back with a met minimum clears it.
    feedStatus = 200;
    feed = feedBody(QStringLiteral("1.5"), QStringLiteral("1.2"));
    clock.advance(600s);
    activate(*checker);
    EXPECT_EQ(checker->required(), std::nullopt);
    EXPECT_EQ(defaults.text(TessaronReleaseInfo::floorKey), std::nullopt);
    ASSERT_TRUE(checker->available());
    EXPECT_EQ(checker->available()->version, QStringLiteral("1.5"));
    // A feed that fails afterwards leaves the newer release on offer.
    feedStatus = 500;
    clock.advance(600s);
    activate(*checker);
    EXPECT_TRUE(checker->available());
}

// How the user hears of their checks.
struct RecordingDialogs final : UpdateDialogs {
    void showFound(const FoundUpdate&, std::function<void()>) override {
        shown.append(QStringLiteral("found"));
    }
    void showUpToDate() override { shown.append(QStringLiteral("up to date")); }
    void showCheckFailed() override { shown.append(QStringLiteral("failed")); }
    QStringList shown;
};

// The update framework's checks read the feed through the checker: a start asks the feed once, even when
// the update it finds is required, and what a user's check finds covers or uncovers the window at once.
TEST_F(UpdateCheckerTest, TheFrameworksChecksGoThroughTheCheckerAndItsOneRequest) {
    RecordingDialogs dialogs;
    QList<QUrl> opened;
    std::unique_ptr<TessaronUpdateChecker> checker;
    LinuxUpdateFramework linuxFramework([&checker](bool user) { return checker->findUpdate(user); }, dialogs,
                                        [&opened](const QUrl& page) { opened.append(page); });
    feed = feedBody(QStringLiteral("1.5"), QStringLiteral("1.3"));
    checker = std::make_unique<TessaronUpdateChecker>(
        UpdateCheckerServices{clock, defaults, releaseFeed, gate, linuxFramework, bundle()});
    checker->start();
    clock.runDue();
    activate(*checker);
    // What was fetched, whether an update is required, the pages opened and what the user was shown.
    const auto state = [&] {
        return std::tuple(fetches(), checker->required().has_value(), opened.size(), dialogs.shown);
    };
    EXPECT_EQ(state(), std::tuple(1, true, 1, QStringList()))
        << "the forced check installs what the feed named";

    // The minimum met: uncovered at once, the newer release offered.
    feed = feedBody(QStringLiteral("1.5"), QStringLiteral("1.2"));
    linuxFramework.checkForUpdates();
    clock.runDue();
    EXPECT_EQ(state(), std::tuple(2, false, 1, QStringList{"found"}));
    feed = feedBody(QStringLiteral("1.2"));
    linuxFramework.checkForUpdates();
    clock.runDue();
    EXPECT_EQ(state(), std::tuple(3, false, 1, QStringList{"found", "up to date"}));
    feed = feedBody(QStringLiteral("1.6"), QStringLiteral("1.6"));
    linuxFramework.checkForUpdates();
    clock.runDue();
    EXPECT_EQ(state(), std::tuple(4, true, 2, QStringList{"found", "up to date"}))
        << "covered and installed at once, not offered";
}

QCoro::Task<> keepFetched(const ReleaseFeed* feed, std::optional<OptionalRelease>* fetched) {
    const auto release = co_await feed->fetchLatest();
    *fetched = release;
}

// A server that keeps its reply coming, too slowly to end it and too steadily to stall, is given up on.
TEST_F(UpdateCheckerTest, TheFeedEndsAnExchangeThatOutlastsItsLimit) {
    StalledHttpTransport dripping(clock);
    const ReleaseFeed slowFeed(dripping, clock, feedURL);
    std::optional<OptionalRelease> fetched;
    keepFetched(&slowFeed, &fetched);
    clock.advance(ReleaseFeed::exchangeLimit - 1ms);
    EXPECT_FALSE(fetched);
    clock.advance(1ms);
    ASSERT_TRUE(fetched);
    EXPECT_EQ(*fetched, std::nullopt);
}

// A server that sends its whole reply, one byte at a time, so slowly that the exchange lasts `holds`: the
// stall time-out never fires, only a bound on the whole exchange ends it.
class DrippingHttpTransport final : public HttpTransport {
public:
    DrippingHttpTransport(Clock& clock, Clock::Duration holds, HttpResponse reply)
        : clock_(clock)
        , holds_(holds)
        , reply_(std::move(reply)) {}

    QCoro::Task<HttpOutcome> send(HttpRequest, CancellationToken cancellation) override {
        co_await clock_.sleep(holds_, cancellation);
        if (cancellation.isCancelled())
            co_return HttpFailure{HttpFailure::Kind::cancelled, {}};
        co_return reply_;
    }

private:
    Clock& clock_;
    Clock::Duration holds_;
    HttpResponse reply_;
};

QCoro::Task<> keepUploaded(PairingCrashUploader* uploader, std::optional<bool>* delivered) {
    const auto taken = co_await uploader->upload(TessaronCrashReport{});
    *delivered = taken;
}

// The release feed (20 s) and the crash upload (15 s) each give up on a reply that would complete, and
// count as a success, 24 s in: still open shortly before the bound, given up on shortly after it.
TEST_F(UpdateCheckerTest, AReplyDrippedOverTwentyFourSecondsEndsTheFeedAndTheCrashUploadAtTheirBounds) {
    struct Row {
        const char* name;
        int status;
        QByteArray body;
        std::chrono::seconds openAt, endedBy;
    };
    const Row rows[] = {
        {"release feed", 200, feedBody(QStringLiteral("1.6")), 19s, 21s},
        {"crash upload", 202, "{}", 14s, 16s},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ManualClock dripClock;
        DrippingHttpTransport dripping(dripClock, 24s,
                                       HttpResponse{.status = row.status, .headers = {}, .body = row.body});
        const ReleaseFeed slowFeed(dripping, dripClock, feedURL);
        PairingCrashUploader uploader(
            QUrl(QStringLiteral("https://tessaron.test")), dripping, dripClock,
            [](int, std::optional<QByteArray>) {}, [] { return QStringLiteral("macos-direct/1.2/120"); });
        // Whether the exchange has ended, and whether it succeeded.
        std::optional<OptionalRelease> fetched;
        std::optional<bool> delivered;
        const auto outcome = [&]() -> std::optional<bool> {
            if (fetched)
                return fetched->has_value();
            return delivered;
        };
        if (row.status == 200)
            keepFetched(&slowFeed, &fetched);
        else
            keepUploaded(&uploader, &delivered);
        dripClock.advance(row.openAt);
        EXPECT_EQ(outcome(), std::nullopt);
        dripClock.advance(row.endedBy - row.openAt);
        EXPECT_EQ(outcome(), std::optional(false));
    }
}

TEST_F(UpdateCheckerTest, DropsAStoredServerRequirementTheInstalledBuildMeets) {
    // The stored requirement's build and version, and whether it still blocks this 1.2 (120).
    for (const auto& [minimumBuild, minimumVersion, blocks] :
         std::initializer_list<std::tuple<qint64, QString, bool>>{{120, "9.0", false},
                                                                  {121, "1.0", true},
                                                                  {0, "1.2.0", false},
                                                                  {0, "1.2.1", true},
                                                                  {0, "", true},
                                                                  {0, "1.x", true}}) {
        SCOPED_TRACE(minimumVersion.toStdString() + " " + std::to_string(minimumBuild));
        gate.observe(426, upgradeBody(minimumBuild, minimumVersion));
        TessaronServerUpgradeGate restoredGate(gatePreferences); // as at the next start
        const auto checker = makeChecker({}, &restoredGate);
        EXPECT_EQ(checker->required().has_value(), blocks);
        EXPECT_EQ(restoredGate.requirement().has_value(), blocks);
        EXPECT_EQ(gatePreferences.keys().contains(TessaronServerUpgradeGate::storageKey), blocks);
        gate.clear();
    }
}

} // namespace
} // namespace tessaron::testing
