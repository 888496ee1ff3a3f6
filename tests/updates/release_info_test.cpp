#include "profiles/decoding_error.hpp"
#include "support/memory_preferences.hpp"
#include "updates/release_info.hpp"

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

const QUrl downloadPage(QStringLiteral("https://tessaron.test/download/mac"));

TessaronReleaseInfo decode(const QByteArray& members) {
    return TessaronReleaseInfo::decoded("{" + members + "}");
}

TEST(ReleaseRecordTest, ReadsTheBuildAsANumberOrNumericText) {
    const QByteArray rest = R"(,"version":"1.4","url":"https://tessaron.test/r")";
    const std::vector<std::pair<QByteArray, qint64>> readable{{R"("build":140)", 140},
                                                              {R"("build":"140")", 140},
                                                              {R"("build":"+140")", 140},
                                                              {R"("build":"-3")", -3}};
    for (const auto& [build, expected] : readable)
        EXPECT_EQ(decode(build + rest).build, expected) << build.constData();

    for (const QByteArray build : {R"("build":"")", R"("build":"14a")", R"("build":"+")", R"("build":" 14")",
                                   R"("build":1.5)", R"("build":null)", R"("b":1)"}) {
        try {
            decode(build + rest);
            ADD_FAILURE() << build.constData() << " decoded";
        } catch (const JsonDecodingError& error) {
            EXPECT_EQ(error.key(), QStringLiteral("build")) << build.constData();
            EXPECT_EQ(error.description(), QStringLiteral("build must be a number or a numeric string"));
        }
    }
}

TEST(ReleaseRecordTest, DropsOptionalFieldsItCannotReadAndFailsOnRequiredOnes) {
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

TEST(VersionRulesTest, ValidatesVersions) {
    for (const auto* valid : {"1", "1.2.3", "01.002"})
        EXPECT_TRUE(isValidVersion(QString::fromLatin1(valid))) << valid;
    for (const auto* invalid : {"", "1.", ".1", "1..2", "a1.2", "1.2-beta", " 1.2", "+1.2", "1.\u0662"})
        EXPECT_FALSE(isValidVersion(QString::fromUtf8(invalid))) << invalid;
}

TEST(VersionRulesTest, ComparesInstalledWithOther) {
    struct Case {
        QString installed;
        std::optional<QString> other;
        bool older;
    };
    const std::vector<Case> cases{
        {"1.2", "1.2.0", false},    {"1.2", "1.2.1", true},
        {"1.10", "1.9", false},     {"2", "10", true},
        {"", "0.0.1", true},        {"", "0", false},
        {"1.2", "1.3-beta", false}, {"1.2", std::nullopt, false},
        {"1.2", "", false},         {"1.2b", "1.1", true},
        {"1..2", "1.1", false},     {"+4", "4", false},
        {"4.-2", "4", true},        {"99999999999999999999.1", "0.2", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(compareVersions(c.installed, c.other), c.older)
            << c.installed.toStdString() << " vs " << c.other.value_or("none").toStdString();
}

TessaronReleaseInfo feedRelease(std::optional<QString> minimum) {
    return {QStringLiteral("1.5"), 150, QUrl(QStringLiteral("https://tessaron.test/r")), std::nullopt,
            minimum};
}

TEST(VersionRulesTest, AppliesTheFloor) {
    struct Case {
        const char* name;
        QString installed;
        std::optional<QString> storedFloor;
        std::optional<TessaronReleaseInfo> fetched;
        std::optional<QString> floorAfter;
        std::optional<TessaronReleaseInfo> result;
    };
    const TessaronReleaseInfo fromFloor{"1.3", 0, downloadPage, downloadPage, QStringLiteral("1.3")};
    const std::vector<Case> cases{
        {"feed minimum above installed", "1.2", std::nullopt, feedRelease("1.3"), "1.3", feedRelease("1.3")},
        {"feed minimum met", "1.3", "1.3", feedRelease("1.3"), std::nullopt, std::nullopt},
        {"feed lowers a higher floor", "1.2", "2.0", feedRelease("1.3"), "1.3", feedRelease("1.3")},
        {"feed without minimum", "1.2", "1.3", feedRelease(std::nullopt), std::nullopt, std::nullopt},
        {"feed with invalid minimum", "1.2", "1.3", feedRelease("1.x"), std::nullopt, std::nullopt},
        {"no feed, floor above", "1.2", "1.3", std::nullopt, "1.3", fromFloor},
        {"no feed, floor met", "1.3", "1.3", std::nullopt, "1.3", std::nullopt},
        {"no feed, no floor", "1.2", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        MemoryPreferences defaults;
        if (c.storedFloor)
            defaults.setValue(TessaronReleaseInfo::floorKey, *c.storedFloor);
        EXPECT_EQ(TessaronReleaseInfo::applyFloor(c.installed, c.fetched, defaults, downloadPage), c.result)
            << c.name;
        EXPECT_EQ(defaults.text(TessaronReleaseInfo::floorKey), c.floorAfter) << c.name;
    }
}

TEST(VersionRulesTest, MakesAReleaseFromARequirement) {
    const QUrl page(QStringLiteral("https://tessaron.test/upgrade"));
    EXPECT_EQ(TessaronReleaseInfo::releaseFromRequirement({210, QStringLiteral("2.1"), page}, downloadPage),
              (TessaronReleaseInfo{"2.1", 210, page, page, QStringLiteral("2.1")}));
    EXPECT_EQ(TessaronReleaseInfo::releaseFromRequirement({0, QString(), std::nullopt}, downloadPage),
              (TessaronReleaseInfo{"9999.0.0", 0, downloadPage, downloadPage, QStringLiteral("9999.0.0")}));
}

} // namespace
} // namespace tessaron::testing
