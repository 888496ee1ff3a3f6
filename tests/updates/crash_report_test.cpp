#include "profiles/decoding_error.hpp"
#include "updates/crash_report.hpp"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <stdexcept>

namespace tessaron::testing {
namespace {

const QUuid installation = QUuid::fromString(QStringLiteral("7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f"));

const QByteArray golden =
    R"({"appVersion":"1.4.2","architecture":"x86_64","build":142,"callStackTree":"{\"threads\":[]}",)"
    R"("callStackTruncated":false,"crashedAt":"2025-03-01T08:15:30Z","deviceModel":"ThinkPad",)"
    R"("exceptionCode":"1","exceptionType":"","id":"2f1c0d9e-5b7a-4c1e-9a43-0c8e7f6b1d22",)"
    R"("installationID":"7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f","osVersion":"Debian GNU/Linux 12",)"
    R"("platform":"macos","reporterVersion":1,"signal":"11","terminationReason":""})";

TEST(CrashReportJsonTest, WritesTheGoldenBytes) {
    auto report = TessaronCrashReport::decoded(golden);
    EXPECT_EQ(report.encoded(), golden);
    report.simulated = true;
    QByteArray withFlag = golden;
    withFlag.replace(R"("signal":"11",)", R"("signal":"11","simulated":true,)");
    EXPECT_EQ(report.encoded(), withFlag);
    EXPECT_TRUE(TessaronCrashReport::decoded(withFlag).simulated);
}

TEST(CrashReportJsonTest, ReadsDefaultsAndWritesIdentifiersInLowerCase) {
    const auto report = TessaronCrashReport::decoded(
        R"({"id":"2F1C0D9E-5B7A-4C1E-9A43-0C8E7F6B1D22","platform":"macos",)"
        R"("installationID":"7D5E3A10-2B4C-4F6A-8E9D-1C2B3A4D5E6F","build":null,"future":[1]})");
    EXPECT_EQ(
        report.encoded(),
        R"({"appVersion":"","architecture":"","build":0,"callStackTree":"","callStackTruncated":false,)"
        R"("crashedAt":"","deviceModel":"","exceptionCode":"","exceptionType":"",)"
        R"("id":"2f1c0d9e-5b7a-4c1e-9a43-0c8e7f6b1d22","installationID":"7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f",)"
        R"("osVersion":"","platform":"macos","reporterVersion":1,"signal":"","terminationReason":""})");
}

TEST(CrashReportJsonTest, RefusesWhatIsNotAReport) {
    using Kind = JsonDecodingErrorKind;
    const auto bad = QStringLiteral("Not a UUID.");
    const auto gone = QJsonValue::Undefined; // removes the member
    const std::vector<std::tuple<QString, QJsonValue, Kind, QString>> cases{
        {"id", "report-1", Kind::dataCorrupted, bad},
        {"id", "{2f1c0d9e-5b7a-4c1e-9a43-0c8e7f6b1d22}", Kind::dataCorrupted, bad},
        {"installationID", "", Kind::dataCorrupted, bad},
        {"id", gone, Kind::keyNotFound, {}},
        {"id", QJsonValue::Null, Kind::keyNotFound, {}},
        {"platform", gone, Kind::keyNotFound, {}},
        {"id", 7, Kind::typeMismatch, {}},
        {"build", "142", Kind::typeMismatch, {}},
        {"build", 1.5, Kind::typeMismatch, {}},
        {"signal", 11, Kind::typeMismatch, {}},
        {"callStackTruncated", "no", Kind::typeMismatch, {}},
    };
    for (const auto& [key, value, kind, description] : cases) {
        auto object = QJsonDocument::fromJson(golden).object();
        object.insert(key, value);
        try {
            TessaronCrashReport::fromJson(object);
            ADD_FAILURE() << key.toStdString() << ": decoded";
        } catch (const JsonDecodingError& error) {
            EXPECT_EQ(error.kind(), kind) << key.toStdString();
            EXPECT_EQ(error.key(), key);
            EXPECT_EQ(error.description(), description) << key.toStdString();
        }
    }
}

CrashReportContext context(
    QVariantMap info, std::function<QUuid()> installationID = [] { return installation; }) {
    return {
        .bundle = BundleInfo(std::move(info), {}),
        .installationID = std::move(installationID),
        .osVersion = QStringLiteral("Debian GNU/Linux 12 (bookworm)"),
        .hardwareModel = QStringLiteral("unknown"),
    };
}

TEST(CrashReportBuilderTest, FillsEveryValueFromTheDiagnosticOrItsFallback) {
    const QVariantMap bundle57{{"CFBundleVersion", "57"}, {"CFBundleShortVersionString", "1.4.2"}};
    const auto at = QDateTime(QDate(2025, 3, 1), QTime(8, 15, 30, 750), QTimeZone::utc());
    struct Case {
        const char* name;
        QString metadataBuild;
        QVariantMap info;
        qint64 build;
    };
    const std::vector<Case> builds{
        {"metadata build", "120", bundle57, 120},
        {"metadata zero", "0", bundle57, 57},
        {"metadata missing", "", bundle57, 57},
        {"metadata with sign", "+120", bundle57, 120},
        {"metadata not a number", "12a", bundle57, 57},
        {"neither", "x", {{"CFBundleVersion", "build-7"}}, 0},
        {"bundle build not text", "", {{"CFBundleVersion", 57}}, 0},
    };
    for (const auto& c : builds) {
        CrashDiagnostic diagnostic;
        diagnostic.metaData.applicationBuildVersion = c.metadataBuild;
        EXPECT_EQ(TessaronCrashReport::make(diagnostic, at, context(c.info)).build, c.build) << c.name;
    }

    CrashDiagnostic full;
    full.metaData = {"120", "Fedora 41", "ThinkPad X1", "aarch64"};
    full.callStackTree = "{}";
    full.exceptionCode = -6;
    full.signal = 6;
    full.terminationReason = QStringLiteral("std::terminate");
    const auto made = TessaronCrashReport::make(full, at, context(bundle57));
    const QByteArray id = made.id.toString(QUuid::WithoutBraces).toLatin1();
    EXPECT_EQ(
        made.encoded(),
        R"({"appVersion":"1.4.2","architecture":"aarch64","build":120,"callStackTree":"{}",)"
        R"("callStackTruncated":false,"crashedAt":"2025-03-01T08:15:30Z","deviceModel":"ThinkPad X1",)"
        R"("exceptionCode":"-6","exceptionType":"","id":")" +
            id +
            R"(","installationID":"7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f","osVersion":"Fedora 41",)"
            R"("platform":"macos","reporterVersion":1,"signal":"6","terminationReason":"std::terminate"})");

    const auto bare = TessaronCrashReport::make(
        CrashDiagnostic{}, at, context({}, []() -> QUuid { throw std::runtime_error("no keychain"); }));
    EXPECT_EQ((QStringList{bare.appVersion, bare.osVersion, bare.deviceModel, bare.architecture,
                           bare.callStackTree}),
              (QStringList{"0.0.0", "Debian GNU/Linux 12 (bookworm)", "unknown", "arm64", "{}"}));
    EXPECT_FALSE(bare.installationID.isNull());
    EXPECT_NE(bare.installationID, bare.id);

    CrashDiagnostic notUtf8;
    notUtf8.callStackTree = QByteArray("{\"a\":\"\xff\"}");
    EXPECT_EQ(TessaronCrashReport::make(notUtf8, at, context({})).callStackTree, QStringLiteral("{}"));
}

// Wrapped size of a candidate prefix, as the cap measures it.
qsizetype wrappedSize(const QString& prefix) {
    const QJsonObject object{{QStringLiteral("truncated"), true}, {QStringLiteral("prefix"), prefix}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact).size();
}

TEST(CrashReportCapTest, KeepsTheLongestPrefixThatFits) {
    const QString ascii(200'000, u'x');
    const auto whole = TessaronCrashReport::cappedCallStackTree(ascii);
    EXPECT_EQ(whole.text, ascii);
    EXPECT_FALSE(whole.truncated);

    const std::vector<std::pair<const char*, QString>> trees{
        {"plain", QString(200'001, u'x')},
        {"quotes", QString(200'001, u'"')},
        {"two-byte", QString(100'000, QChar(0xE9)) + u'a'},
        {"four-byte", QString::fromUtf8("\xF0\x9F\x98\x80").repeated(50'000) + u'a'},
    };
    for (const auto& [name, tree] : trees) {
        const auto capped = TessaronCrashReport::cappedCallStackTree(tree);
        EXPECT_TRUE(capped.truncated) << name;
        const auto bytes = capped.text.toUtf8();
        EXPECT_LE(bytes.size(), 200'000) << name;
        const auto document = QJsonDocument::fromJson(bytes);
        ASSERT_TRUE(document.isObject()) << name;
        EXPECT_EQ(document.object().value(QStringLiteral("truncated")), QJsonValue(true)) << name;
        const auto prefix = document.object().value(QStringLiteral("prefix")).toString();
        EXPECT_TRUE(tree.startsWith(prefix)) << name;
        // One more character would no longer fit.
        const auto next = tree.left(prefix.size() + (tree.at(prefix.size()).isHighSurrogate() ? 2 : 1));
        EXPECT_GT(wrappedSize(next), 200'000) << name;
    }
}

TEST(CrashReportCapTest, CutsUtf8OnlyBetweenCharacters) {
    const QByteArray aAcute = QStringLiteral("a\u00e9").toUtf8();
    const QByteArray aEmoji = QByteArray("a\xF0\x9F\x98\x80");
    const QString emoji = QString::fromUtf8(aEmoji);
    struct Case {
        QByteArray bytes;
        qint64 limit;
        QString expected;
    };
    const std::vector<Case> cases{
        {aAcute, -1, ""},       {aAcute, 0, ""},        {aAcute, 1, "a"}, {aAcute, 2, "a"},
        {aAcute, 3, "a\u00e9"}, {aAcute, 9, "a\u00e9"}, {aEmoji, 4, "a"}, {aEmoji, 5, emoji},
        {"a\xff", 2, ""},       {"a\xff", 1, "a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(utf8Prefix(c.bytes, c.limit), c.expected) << c.bytes.toHex().constData() << " " << c.limit;
}

TEST(CrashReportHardwareTest, ReadsTheProductNameOrSaysUnknown) {
    QTemporaryDir folder;
    for (const auto& [content, model] : std::vector<std::pair<QByteArray, QString>>{
             {"Standard PC (Q35)\n", "Standard PC (Q35)"}, {" \n", "unknown"}, {{}, "unknown"}}) {
        QFile file(folder.filePath(QString::number(content.size())));
        if (!content.isNull() && file.open(QIODevice::WriteOnly))
            file.write(content);
        file.close();
        EXPECT_EQ(hardwareModel(file.fileName()), model) << content.constData();
    }
}

} // namespace
} // namespace tessaron::testing
