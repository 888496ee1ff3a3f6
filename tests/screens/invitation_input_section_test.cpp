#include "screens/invitation_input_section.hpp"
#include "screens/screen_capture.hpp"
#include "session/session_harness.hpp"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

const QString code = QStringLiteral("Tq7xK2mVn9bL4wR8sD3fH6jP1cZ5yE0a");
const QUrl pairingBase(QStringLiteral("https://pairing.test:8443/api"));

TEST(InvitationURL, LinksPassAndCodesGoToThePairingHost) {
    const auto link =
        TessaronAccessInput::parse(QStringLiteral("https://tessaron.app/connect#invite=") + code);
    EXPECT_EQ(invitationURL(link, std::nullopt), link.link());
    const auto token = TessaronAccessInput::parse(QStringLiteral("  ") + code + QStringLiteral("\n"));
    EXPECT_EQ(invitationURL(token, pairingBase),
              QUrl(QStringLiteral("https://pairing.test/connect#invite=") + code));
    EXPECT_EQ(invitationURL(token, std::nullopt), std::nullopt);
    EXPECT_EQ(invitationURL(TessaronAccessInput::invalid(), pairingBase), std::nullopt);
}

class InvitationSectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        harness.grantConsent();
        track(harness.start().bootstrap());
        harness.settle();
    }
    TessaronInvitationInputSection& section(std::optional<QUrl> base = pairingBase) {
        if (!section_) {
            section_ = std::make_unique<TessaronInvitationInputSection>(*harness.session, base);
            section_->resize(420, 200);
            section_->show();
        }
        return *section_;
    }
    QLineEdit* field() { return section().findChild<QLineEdit*>(QStringLiteral("tessaron.accessKeyField")); }
    QAbstractButton* button() {
        return section().findChild<QAbstractButton*>(QStringLiteral("tessaron.accessKeyButton"));
    }
    bool errorShown() {
        return !section().findChild<QLabel*>(QStringLiteral("tessaron.accessInputError"))->isHidden();
    }
    void type(const QString& text) {
        field()->clear();
        QTest::keyClicks(field(), text);
    }
    void pressReturn() {
        QTest::keyClick(field(), Qt::Key_Return);
        harness.settle();
    }

    SessionHarness harness;
    std::unique_ptr<TessaronInvitationInputSection> section_;
};

TEST_F(InvitationSectionTest, UnusableTextShowsTheErrorLineUntilEditedAndNarrowCardsStack) {
    EXPECT_FALSE(button()->isEnabled());
    pressReturn();
    EXPECT_TRUE(errorShown());
    type(QStringLiteral("x"));
    EXPECT_FALSE(errorShown());
    type(code);
    EXPECT_TRUE(button()->isEnabled());

    // Narrow cards stack the button under the field.
    section().resize(300, 240);
    harness.settle();
    EXPECT_GT(button()->y(), field()->y());
    EXPECT_EQ(button()->width(), field()->width());
    section().resize(480, 200);
    harness.settle();
    EXPECT_EQ(button()->y(), field()->y());
}

TEST_F(InvitationSectionTest, ACodeWithoutAPairingServiceIsRefusedLocally) {
    section(std::nullopt);
    type(code);
    pressReturn();
    EXPECT_TRUE(errorShown());
    EXPECT_TRUE(harness.pairing.sent(QStringLiteral("/v1/redeem")).isEmpty());
}

TEST_F(InvitationSectionTest, SuccessClearsTheFieldAndClosesTheSheet) {
    harness.pairing.enqueueRedeem(sampleProfile(QStringLiteral("Oslo")));
    QSignalSpy finished(&section(), &TessaronInvitationInputSection::finished);
    type(QStringLiteral(" ") + code + QStringLiteral(" "));
    button()->click();
    harness.settle();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(field()->text(), QString());
    EXPECT_EQ(harness.session->summaries().size(), 1);
}

TEST_F(InvitationSectionTest, FailuresAndIgnoredLinksKeepTheTextAndTheSheet) {
    QSignalSpy finished(&section(), &TessaronInvitationInputSection::finished);
    harness.pairing.enqueueRedeem(404);
    type(code);
    pressReturn();
    ASSERT_TRUE(section().banner());
    EXPECT_TRUE(section().banner()->isError);
    capture(section(), {420, 200}, QStringLiteral("invitation-card"));
    EXPECT_EQ(field()->text(), code);
    EXPECT_TRUE(button()->isEnabled());

    // Another invitation is still being redeemed: this one would be dropped silently.
    harness.pairing.setDelay(5s);
    harness.pairing.enqueueRedeem(sampleProfile(QStringLiteral("Bergen")));
    track(harness.session->openInvitationLink(
        QUrl(QStringLiteral("https://tessaron.app/connect#invite=") + code)));
    harness.settle();
    ASSERT_TRUE(harness.session->linkInFlight());
    pressReturn();
    EXPECT_EQ(section().banner(),
              (InvitationBanner{QStringLiteral("Wait for the current change to finish."), true}));
    EXPECT_EQ(field()->text(), code);
    EXPECT_EQ(finished.count(), 0);
    harness.advance(6s);
}

} // namespace
} // namespace tessaron::testing
