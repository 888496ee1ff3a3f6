#include "account/device_name.hpp"

#include "account_test_support.hpp"

#include <gtest/gtest.h>

using namespace tessaron;

TEST(DeviceNameTest, PrefersThePrettyNameThenTheHostNameThenMac) {
    const QString flag = QString::fromUtf8("🇩🇪");
    const QString accented = QString::fromUtf8("e\u0301");
    const std::tuple<std::optional<QString>, QString, QString> cases[] = {
        {"Ann’s Laptop", "ann-laptop", "Ann’s Laptop"},
        {std::nullopt, "ann-laptop", "ann-laptop"},
        {"   ", "ann-laptop", "ann-laptop"},
        {std::nullopt, "", "Mac"},
        {QString(70, u'x'), "h", QString(64, u'x')},
        {QString(64, u'x'), "h", QString(64, u'x')},
        // Cut by what the user sees as one character, never inside a flag or an accented letter.
        {flag.repeated(70), "h", flag.repeated(64)},
        {QString(63, u'x') + accented + "yz", "h", QString(63, u'x') + accented},
    };
    for (const auto& [pretty, host, expected] : cases)
        EXPECT_EQ(deviceName(pretty, host), expected) << expected.toStdString();
}

TEST(DeviceNameTest, ReadsThePrettyHostNameAsSystemdWritesIt) {
    const std::pair<QByteArray, std::optional<QString>> cases[] = {
        {"PRETTY_HOSTNAME=Studio\n", "Studio"},
        {"CHASSIS=laptop\nPRETTY_HOSTNAME=\"Ann's \\\"Laptop\\\"\"\nDEPLOYMENT=production\n",
         "Ann's \"Laptop\""},
        {"PRETTY_HOSTNAME='Büro PC'\n", QString::fromUtf8("Büro PC")},
        {"CHASSIS=desktop\n", std::nullopt},
    };
    for (const auto& [machineInfo, expected] : cases)
        EXPECT_EQ(prettyHostNameFromMachineInfo(machineInfo), expected) << machineInfo.toStdString();
}
