#include "account/login_flow.hpp"
#include "account/oauth_callback.hpp"

#include <gtest/gtest.h>

using namespace tessaron;

TEST(LoginFlowTest, AnAddressNeedsSomethingOnBothSidesOfTheAtSign) {
    for (const auto& [email, plausible] : std::initializer_list<std::pair<const char*, bool>>{
             {"   ", false}, {"@x", false}, {"ann@", false}, {" Ann@Example.COM \n", true}, {"a@b", true}}) {
        TessaronLoginFlow flow;
        flow.email = QString::fromUtf8(email);
        EXPECT_EQ(flow.isEmailPlausible(), plausible) << email;
    }
}

TEST(LoginFlowTest, TheCodeKeepsTheFirstSixAsciiDigitsOfTheFieldsFirst24Characters) {
    const std::tuple<QString, QString, bool> cases[] = {
        {QStringLiteral("1 2 3-4 5 6 7"), QStringLiteral("123456"), true},
        {QString(24, u'x') + QStringLiteral("123456"), QString(), false},
        {QStringLiteral("١٢٣٤٥٦"), QString(), false},                      // not ASCII digits
        {QStringLiteral("1\u0301a23456"), QStringLiteral("23456"), false}, // a digit with a mark is no digit
    };
    for (const auto& [typed, code, completes] : cases) {
        TessaronLoginFlow flow;
        EXPECT_EQ(flow.acceptCode(typed), completes) << typed.toStdString();
        EXPECT_EQ(flow.code, code) << typed.toStdString();
        if (completes) {
            EXPECT_FALSE(flow.acceptCode(typed + u'9')); // already complete: no second submit
        }
    }
}

TEST(OAuthCallbackTest, OnlyANonEmptyCodeItemOfTheApplicationsSchemeSignsIn) {
    const QString failed = QStringLiteral("Sign-in failed. Please try again.");
    const std::pair<const char*, QString> cases[] = {
        {"tessaron://auth?code=abc&state=s", {}},
        {"tessaron://auth?Code=abc", failed},
        {"tessaron://auth?code=&error=access_denied", QStringLiteral("Sign-in was cancelled.")},
        {"tessaron://auth?error=invalid_state", QStringLiteral("Sign-in expired. Please try again.")},
        {"tessaron://auth?error=email_required",
         QStringLiteral(
             "This sign-in needs a verified email address. Verify it with the provider, then try again.")},
        {"https://auth?code=abc", failed},
    };
    for (const auto& [url, text] : cases) {
        const auto callback = parseOAuthCallback(QUrl(QString::fromUtf8(url)));
        EXPECT_EQ(callback.code.has_value(), text.isEmpty()) << url;
        EXPECT_EQ(callback.code ? QString() : oauthErrorText(callback.error), text) << url;
    }
}
