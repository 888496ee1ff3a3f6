#include "screens/fake_update_state.hpp"
#include "screens/settings_form.hpp"
#include "screens/tessaron_theme.hpp"

#include "platform/bundle_info.hpp"
#include "platform/vpn_error.hpp"
#include "screens/home_fixture.hpp"
#include "session/session_harness.hpp"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);

TEST(SettingsTextsTest, VersionUsageAndWarningTexts) {
    const auto version = [](QVariantMap info) {
        return TessaronSettingsForm::versionText(BundleInfo(info, {}));
    };
    EXPECT_EQ(version({{"CFBundleShortVersionString", "2.4.1"}, {"CFBundleVersion", "318"}}), "2.4.1 (318)");
    EXPECT_EQ(version({{"CFBundleShortVersionString", "2.4.1"}}), "2.4.1 (\u2014)");
    EXPECT_EQ(version({{"CFBundleShortVersionString", 3}, {"CFBundleVersion", "318"}}), "\u2014 (318)");
    EXPECT_EQ(version({}), "\u2014 (\u2014)");

    const std::pair<qint64, const char*> amounts[] = {
        {1'234'567'890, "1.2 GB"}, {5'000'000'000, "5 GB"}, {0, "0 GB"}, {12'345'000'000, "12.3 GB"}};
    for (const auto& [bytes, text] : amounts)
        EXPECT_EQ(TessaronSettingsForm::formatGigabytes(bytes, english), text) << bytes;
    EXPECT_EQ(TessaronSettingsForm::formatGigabytes(1'250'000'000, QLocale(QLocale::German)), "1,3 GB");

    const QDateTime resets(QDate(2026, 3, 5), QTime(12, 0));
    struct Case {
        qint64 used, cap;
        std::optional<QString> warning;
    };
    const Case cases[] = {
        {10, 100, std::nullopt},
        {79, 100, std::nullopt},
        {80, 100, "Most of this month's data is used. It resets on Mar 5."},
        {100, 100, "This month's data is used up. Access resumes on Mar 5."},
        {0, 0, "This month's data is used up. Access resumes on Mar 5."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TessaronSettingsForm::usageWarning({c.used, c.cap, resets}, english), c.warning) << c.used;
}

// The form over a real session on fakes, with the Linux configuration store played by the fake managers.
class SettingsFormTest : public ::testing::Test {
protected:
    TessaronSettingsForm& form(bool installed = true) {
        if (!form_) {
            if (installed) {
                harness.save(profile);
                harness.installConfiguration(profile);
                harness.launch();
            } else {
                harness.start();
            }
            form_ = std::make_unique<TessaronSettingsForm>(*harness.session, updates, nullptr);
            form_->resize(520, 900);
            form_->show();
        }
        return *form_;
    }
    template <typename Widget = QWidget> Widget* find(const char* name) {
        auto* widget = form().findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString text(const char* name) { return find<QLabel>(name)->text(); }
    bool footerShown(const QString& footer) {
        for (auto* label : form().findChildren<QLabel*>())
            if (label->text() == footer && label->isVisibleTo(&form()))
                return true;
        return false;
    }

    HomeWorld strings; // installs the English string table
    SessionHarness harness;
    FakeUpdateState updates;
    const TessaronProfile profile = sampleProfile(QStringLiteral("Oslo"));
    std::unique_ptr<TessaronSettingsForm> form_;
};

TEST_F(SettingsFormTest, EachToggleShowsWhatTheSessionPublishes) {
    struct Case {
        const char* name;
        bool (TessaronSession::*value)() const;
        bool rewritesConfiguration;
    };
    const Case cases[] = {
        {"tessaron.settings.killSwitch", &TessaronSession::killSwitch, true},
        {"tessaron.settings.idleDisconnect", &TessaronSession::idleDisconnect, false},
        {"tessaron.settings.connectOnDemand", &TessaronSession::connectOnDemand, true},
    };
    form();
    harness.tunnels.setLatency(1s);
    for (const bool saveFails : {false, true}) {
        for (const auto& c : cases) {
            if (saveFails && !c.rewritesConfiguration)
                continue;
            SCOPED_TRACE(std::string(c.name) + (saveFails ? " failing" : ""));
            auto* toggle = find<QCheckBox>(c.name);
            const bool before = (*harness.session.*c.value)();
            ASSERT_EQ(toggle->isChecked(), before);
            if (saveFails)
                harness.tunnels.failNext(FakeTunnelManagers::Operation::save,
                                         VpnError(VpnErrorKind::configurationReadWriteFailed));
            toggle->click();
            if (c.rewritesConfiguration) {
                for (const char* control :
                     {"tessaron.settings.killSwitch", "tessaron.settings.connectOnDemand",
                      "tessaron.settings.idleDisconnect", "tessaron.settings.removeConfiguration"})
                    EXPECT_FALSE(find(control)->isEnabled()) << control;
            }
            harness.advance(3s);
            EXPECT_EQ((*harness.session.*c.value)(), saveFails ? before : !before);
            EXPECT_EQ(toggle->isChecked(), (*harness.session.*c.value)());
        }
    }
}

TEST_F(SettingsFormTest, ConnectOnDemandLocksDisconnectWhenIdle) {
    form(false);
    EXPECT_TRUE(find("tessaron.settings.idleDisconnect")->isEnabled());
    track(harness.session->setConnectOnDemand(true));
    harness.settle();
    EXPECT_TRUE(footerShown("Turn off Connect on demand to use this."));
    EXPECT_FALSE(find("tessaron.settings.idleDisconnect")->isEnabled());
}

TEST_F(SettingsFormTest, RemoveAsksFirstAndOnlyRemoveRemoves) {
    form();
    EXPECT_EQ(text("tessaron.settings.allNetworks"), "Requested");
    for (const char* choice :
         {"tessaron.settings.confirmRemove.cancel", "tessaron.settings.confirmRemove.remove"}) {
        find<QPushButton>("tessaron.settings.removeConfiguration")->click();
        auto* dialog = find<QMessageBox>("tessaron.settings.confirmRemove");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->text(), "Remove the Tessaron VPN configuration?");
        dialog->findChild<QAbstractButton*>(QString::fromLatin1(choice))->click();
        harness.advance(3s);
    }
    EXPECT_TRUE(harness.tunnels.stored().isEmpty());
    EXPECT_FALSE(find("tessaron.settings.removeConfiguration")->isEnabled());
    EXPECT_EQ(text("tessaron.settings.allNetworks"), "Not requested yet");
    EXPECT_TRUE(footerShown("Saved on this device and applied the next time you connect."));
}

TEST_F(SettingsFormTest, TheErrorShowsAboveEverythingUntilDismissed) {
    form();
    auto* error = find("tessaron.settings.error");
    EXPECT_FALSE(error->isVisibleTo(&form()));
    harness.session->setSuggestedNodeID(QUuid::createUuid());
    harness.session->setLastError(QStringLiteral("The request failed."));
    form().adjustSize();
    EXPECT_TRUE(error->isVisibleTo(&form()));
    for (auto* child : form().findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child != error && child->isVisibleTo(&form())) {
            EXPECT_LT(error->y(), child->y()) << child->objectName().toStdString();
        }
    }
    find<QAbstractButton>("tessaron.dismissError")->click();
    EXPECT_FALSE(harness.session->lastError());
    EXPECT_FALSE(harness.session->suggestedNodeID());
    EXPECT_FALSE(error->isVisibleTo(&form()));
}

TEST_F(SettingsFormTest, DataUsageRowShowsTheAmountInTheColourOfItsLevel) {
    struct Case {
        qint64 used, cap;
        QColor colour;
        bool warns;
    };
    const Case cases[] = {
        {1'234'567'890, 50'000'000'000, TessaronTheme::textSecondary(), false},
        {45'000'000'000, 50'000'000'000, TessaronTheme::warning(), true},
        {50'000'000'000, 50'000'000'000, TessaronTheme::danger(), true},
    };
    form();
    auto* value = find<QLabel>("tessaron.settings.dataUsage");
    EXPECT_FALSE(value->isVisibleTo(&form())) << "no usage known yet";
    for (const auto& c : cases) {
        TessaronRosterResponse roster;
        roster.profiles = {profile};
        roster.usage = TessaronDataUsage{c.used, c.cap, harness.clock.now().addDays(9)};
        harness.pairing.setRoster(profile.id, roster);
        track(harness.session->pullRoster(profile.id));
        harness.settle();
        ASSERT_TRUE(value->isVisibleTo(&form())) << c.used;
        EXPECT_EQ(value->text(), TessaronSettingsForm::usageText(*roster.usage, QLocale()));
        EXPECT_TRUE(value->styleSheet().contains(c.colour.name())) << c.used;
        const auto warning = TessaronSettingsForm::usageWarning(*roster.usage, QLocale());
        EXPECT_EQ(warning.has_value(), c.warns);
        EXPECT_TRUE(!warning || footerShown(*warning));
    }
}

TEST_F(SettingsFormTest, UpdateRowOffersTheAvailableRelease) {
    form();
    auto* download = find<QPushButton>("tessaron.settings.download");
    EXPECT_FALSE(download->isVisibleTo(&form()));
    updates.setAvailable(
        TessaronReleaseOffer{QStringLiteral("2.5.0"), QUrl(QStringLiteral("https://example.org"))});
    EXPECT_TRUE(download->isVisibleTo(&form()));
    EXPECT_EQ(download->text(), "Download 2.5.0");
}

} // namespace
} // namespace tessaron::testing
