#include "profiles/access_input.hpp"

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

QString codeOf(qsizetype length) {
    const QString alphabet =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_");
    QString code;
    for (qsizetype i = 0; i < length; ++i)
        code.append(alphabet[i % alphabet.size()]);
    return code;
}

TessaronAccessInput link(const QString& text) {
    return TessaronAccessInput::invitationLink(QUrl(text, QUrl::StrictMode));
}

TEST(AccessInputTest, ClassifiesPastedText) {
    const QString code = codeOf(40);
    const auto invalid = TessaronAccessInput::invalid();
    const auto token = &TessaronAccessInput::invitationToken;
    const std::pair<QString, TessaronAccessInput> cases[] = {
        {"", invalid},
        {" \t\r\n ", invalid},
        {"\n  " + code + " \n", token(code)},
        {codeOf(31), invalid},
        {codeOf(32), token(codeOf(32))},
        {codeOf(128), token(codeOf(128))},
        {codeOf(129), invalid},
        {codeOf(39) + "+", invalid},
        {codeOf(20) + " " + codeOf(20), invalid},
        {" https://tessaron.app/connect#invite=" + code + "\n",
         link("https://tessaron.app/connect#invite=" + code)},
        {"HTTPS://Tessaron.app/connect#invite=" + code, link("https://tessaron.app/connect#invite=" + code)},
        {"tessaron://redeem?code=" + code, link("tessaron://redeem?code=" + code)},
        {"https://tessaron.app/connect", invalid},
        {"ftp://tessaron.app/connect?invite=" + code, invalid},
        {"https://tessa ron.app/connect?invite=" + code, invalid},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(TessaronAccessInput::parse(text), expected) << text.toStdString();
}

TEST(AccessInputTest, BuildsTheConnectLinkOnTheBaseHostOnly) {
    const QString code = codeOf(32);
    EXPECT_EQ(TessaronAccessInput::invitationConnectURL(code, std::nullopt), std::nullopt);
    EXPECT_EQ(TessaronAccessInput::invitationConnectURL(code, QUrl("https:///v1")), std::nullopt);

    const auto url =
        TessaronAccessInput::invitationConnectURL(code, QUrl("https://pair.tessaron.app:8443/api/v1?x=1"));
    ASSERT_TRUE(url);
    EXPECT_EQ(url->toString(QUrl::FullyEncoded), "https://pair.tessaron.app/connect#invite=" + code);

    // The code is not checked again, so whatever it holds is escaped rather than read as URL syntax.
    const auto odd =
        TessaronAccessInput::invitationConnectURL("a b#c%41", QUrl("https://[2001:db8::1]:8443"));
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->toString(QUrl::FullyEncoded), "https://[2001:db8::1]/connect#invite=a%20b%23c%2541");
}

TEST(AccessInputTest, TakesTheInvitationCodeFromAnOpenedLink) {
    const QString code = codeOf(36);
    const QString other = codeOf(33);
    const std::pair<QString, std::optional<QString>> cases[] = {
        {"https://tessaron.app/connect#invite=" + code, code},
        {"https://tessaron.app/connect/#ref=mail&invite=" + code + "&x=1", code},
        {"https://tessaron.app/connect?invite=" + code, code},
        {"https://tessaron.app/connect?code=" + code, code},
        {"https://tessaron.app/connect?code=" + other + "#invite=" + code, code},
        {"https://tessaron.app/connect?code=" + other + "&invite=" + code, code},
        {"TESSARON://redeem?code=" + code, code},
        {"https://tessaron.app/connect#invite=%41" + code.mid(1), "A" + code.mid(1)},
        {"https://tessaron.app/other#invite=" + code, std::nullopt},
        {"http://tessaron.app/connect#invite=" + code, std::nullopt},
        {"https://tessaron.app/connect#invite=" + codeOf(31), std::nullopt},
        {"https://tessaron.app/connect#invite=" + code + "%2B", std::nullopt},
        // The first place that carries a code decides, even when a later one would have been valid.
        {"https://tessaron.app/connect?code=" + code + "#invite=short", std::nullopt},
    };
    for (const auto& [url, expected] : cases)
        EXPECT_EQ(invitationCode(QUrl(url)), expected) << url.toStdString();
}

} // namespace
} // namespace tessaron::testing
