#include "profiles/build_label.hpp"

#include <gtest/gtest.h>

using tessaron::BundleInfo;
using tessaron::clientBuildLabel;

namespace {
BundleInfo infoWith(QVariantMap keys) {
    return BundleInfo(std::move(keys), {});
}
} // namespace

TEST(BuildLabelTest, FiltersEachPartAndFallsBackWhenNothingUsableRemains) {
    const std::tuple<QVariant, QVariant, QString> cases[] = {
        {QStringLiteral("1.4.2"), QStringLiteral("317"), QStringLiteral("macos-direct/1.4.2/317")},
        {{}, {}, QStringLiteral("macos-direct/0.0.0/0")},
        {QStringLiteral("1.4 beta\n"), QStringLiteral("3 17"), QStringLiteral("macos-direct/1.4beta/317")},
        {QStringLiteral("  "), QStringLiteral("é€"), QStringLiteral("macos-direct/0.0.0/0")},
        {QStringLiteral("2.0-rc/1"), 42, QStringLiteral("macos-direct/2.0-rc/1/0")},
    };
    for (const auto& [version, build, expected] : cases) {
        QVariantMap keys;
        if (version.isValid())
            keys.insert(QStringLiteral("CFBundleShortVersionString"), version);
        if (build.isValid())
            keys.insert(QStringLiteral("CFBundleVersion"), build);
        EXPECT_EQ(clientBuildLabel(infoWith(keys)), expected) << version.toString().toStdString();
    }
}
