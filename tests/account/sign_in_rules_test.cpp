#include "account/login_flow.hpp"
#include "account/oauth_callback.hpp"

#include <gtest/gtest.h>

using namespace tessaron;

TEST(LoginFlowTest, AnAddressIsPlausibleWithSomethingOnBothSidesOfTheAtSign) {
    const struct {
        const char* email;
        bool plausible;
    } cases[] = {
        {"   ", false}, {"@", false}, {"@example.com", false}, {"ann@", false}, {" Ann@Example.COM \n", true},
        {"a@b", true}};
    for (const auto& item : cases) {
        TessaronLoginFlow flow;
        flow.email = QString::fromUtf8(item.email);
        EXPECT_EQ(flow.isEmailPlausible(), item.plausible) << item.email;
    }
}

TEST(LoginFlowTest, TheCodeKeepsTheFirstSixAsciiDigitsOfTheFieldsFirst24Characters) {
    const struct {
        QString typed;
        QString code;
        bool completes;
    } cases[] = {
        {QStringLiteral("12a-3 4"), QStringLiteral("1234"), false},
        {QStringLiteral("1 2 3-4 5 6"), QStringLiteral("123456"), true},
        {QStringLiteral("1234567"), QStringLiteral("123456"), true},
        {QString(24, u'x') + QStringLiteral("123456"), QString(), false},
        {QStringLiteral("١٢٣٤٥٦"), QString(), false},                      // not ASCII digits
        {QStringLiteral("1\u0301 23456"), QStringLiteral("23456"), false}, // a digit with a mark is no digit
    };
    for (const auto& item : cases) {
        TessaronLoginFlow flow;
        EXPECT_EQ(flow.acceptCode(item.typed), item.completes) << item.typed.toStdString();
        EXPECT_EQ(flow.code, item.code) << item.typed.toStdString();
    }
    TessaronLoginFlow complete;
    complete.acceptCode(QStringLiteral("123456"));
    EXPECT_FALSE(complete.acceptCode(QStringLiteral("1234567"))); // already complete: no second submit
}

TEST(OAuthCallbackTest, OnlyANonEmptyCodeItemOfTheApplicationsSchemeSignsIn) {
    const struct {
        const char* url;
        std::optional<QString> code;
        QString text;
    } cases[] = {
        {"tessaron://auth?code=abc&state=s", QStringLiteral("abc"), {}},
        {"tessaron://auth?Code=abc", std::nullopt, QStringLiteral("Sign-in failed. Please try again.")},
        {"tessaron://auth?code=&error=access_denied", std::nullopt, QStringLiteral("Sign-in was cancelled.")},
        {"tessaron://auth?error=invalid_state", std::nullopt,
         QStringLiteral("Sign-in expired. Please try again.")},
        {"tessaron://auth?error=email_required", std::nullopt,
         QStringLiteral(
             "This sign-in needs a verified email address. Verify it with the provider, then try again.")},
        {"https://auth?code=abc", std::nullopt, QStringLiteral("Sign-in failed. Please try again.")},
    };
    for (const auto& item : cases) {
        const auto callback = parseOAuthCallback(QUrl(QString::fromUtf8(item.url)));
        EXPECT_EQ(callback.code, item.code) << item.url;
        if (!item.code) {
            EXPECT_EQ(oauthErrorText(callback.error), item.text) << item.url;
        }
    }
}
