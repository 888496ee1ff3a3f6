#include "account_screens/account_section.hpp"
#include "fake_account_screen_model.hpp"
#include "screen_probe.hpp"
#include "session/session_harness.hpp"
#include "support/fake_workspace.hpp"
#include "support/manual_clock.hpp"

namespace tessaron::testing {
namespace {

TessaronAccount sampleAccount(bool links) {
    TessaronAccount account;
    account.email = QStringLiteral("Ada@Example.com");
    account.sessions = 0;
    account.subscriptionLinks = links;
    return account;
}

class AccountSectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(480, 400);
        window.show();
    }
    TessaronAccountSection& section() {
        if (!section_) {
            section_ = new TessaronAccountSection(model, session, clock, workspace, &window);
            section_->show();
        }
        return *section_;
    }
    QAbstractButton* button(const QString& text) { return buttonNamed(section(), text); }

    ManualClock clock;
    FakeWorkspace workspace;
    FakeAccountScreenModel model;
    SessionHarness harness;
    TessaronSession* session = &harness.start();
    QWidget window;
    TessaronAccountSection* section_ = nullptr;
};

TEST_F(AccountSectionTest, PresenceAndRowsFollowTheModel) {
    struct Case {
        const char* name;
        bool providers;
        std::optional<TessaronAccount> account;
        bool busy;
        QStringList texts;
        bool actionsEnabled;
    };
    const QStringList signedIn{
        QStringLiteral("ACCOUNT"),        QStringLiteral("Email"), QStringLiteral("Ada@Example.com"),
        QStringLiteral("Devices"),        QStringLiteral("0"),     QStringLiteral("Sign out"),
        QStringLiteral("Delete account…")};
    const QList<Case> cases{
        {"absent", false, std::nullopt, false, {}, true},
        {"signed out",
         true,
         std::nullopt,
         true,
         {QStringLiteral("ACCOUNT"), QStringLiteral("Sign in")},
         true},
        {"signed in", false, sampleAccount(false), false, signedIn, true},
        {"busy, with links", true, sampleAccount(true), true,
         signedIn + QStringList{QStringLiteral("Windows / Android")}, false},
    };
    for (const Case& c : cases) {
        model.providersValue = c.providers ? std::optional(TessaronProviders{}) : std::nullopt;
        model.accountValue = c.account;
        model.busy = c.busy;
        model.publish();
        QStringList texts = visibleTexts(section());
        texts.sort();
        QStringList expected = c.texts;
        expected.sort();
        EXPECT_EQ(texts, expected) << c.name;
        if (c.account) {
            EXPECT_EQ(button(QStringLiteral("Sign out"))->isEnabled(), c.actionsEnabled) << c.name;
            EXPECT_EQ(button(QStringLiteral("Delete account…"))->isEnabled(), c.actionsEnabled) << c.name;
            if (c.account->subscriptionLinks) {
                EXPECT_TRUE(button(QStringLiteral("Windows / Android"))->isEnabled());
            }
        } else if (c.providers) {
            EXPECT_TRUE(byId(section(), QStringLiteral("tessaron.settings.signIn"))->isEnabled()) << c.name;
        }
    }
    // The absent section started no refresh; the present ones did, once for this appearance.
    EXPECT_EQ(model.names(), QStringList{QStringLiteral("refresh")});
}

TEST_F(AccountSectionTest, EachConfirmationStartsItsCallWithTheSessionAndCancelNone) {
    struct Case {
        QString row;
        QString title;
        QString answer;
        QList<FakeAccountScreenModel::Call> calls;
    };
    const QList<Case> cases{
        {QStringLiteral("Sign out"), QStringLiteral("Sign out?"), QStringLiteral("Cancel"), {}},
        {QStringLiteral("Sign out"),
         QStringLiteral("Sign out?"),
         QStringLiteral("Sign out"),
         {{QStringLiteral("signOut"), session}}},
        {QStringLiteral("Delete account…"),
         QStringLiteral("Delete your Tessaron account?"),
         QStringLiteral("Cancel"),
         {}},
        {QStringLiteral("Delete account…"),
         QStringLiteral("Delete your Tessaron account?"),
         QStringLiteral("Delete"),
         {{QStringLiteral("deleteAccount"), session}}},
    };
    model.accountValue = sampleAccount(true);
    model.publish();
    section();
    for (const Case& c : cases) {
        model.calls.clear();
        click(button(c.row));
        answer(section(), c.title, c.answer);
        EXPECT_EQ(model.calls, c.calls) << c.row.toStdString() << " / " << c.answer.toStdString();
    }
}

// Neither a refused deletion nor one that never reached the service may look like a success.
TEST_F(AccountSectionTest, ADeletionEndingWithAnErrorShowsItUntilTheNextActionOrAppearance) {
    const QString refused = QStringLiteral("The account service refused the request.");
    const QString hollow = QStringLiteral("Please sign in again.");
    const QList<std::pair<std::function<void()>, std::optional<QString>>> cases{
        {[&] { model.error = refused; }, refused},
        // No stored token: the model signed out locally and asks to sign in again.
        {[&] {
             model.accountValue.reset();
             model.error = hollow;
         },
         hollow},
        {[&] { model.accountValue.reset(); }, std::nullopt},
    };
    model.providersValue = TessaronProviders{};
    for (const auto& [outcome, shown] : cases) {
        model.accountValue = sampleAccount(true);
        model.error.reset();
        model.publish();
        model.outcome = outcome;
        click(button(QStringLiteral("Delete account…")));
        answer(section(), QStringLiteral("Delete your Tessaron account?"), QStringLiteral("Delete"));
        EXPECT_EQ(visibleTexts(section()).contains(refused) || visibleTexts(section()).contains(hollow),
                  shown.has_value());
        if (shown) {
            EXPECT_TRUE(visibleTexts(section()).contains(*shown));
        }
    }
    // Gone with the next action, and with the next appearance.
    const QList<std::function<void()>> clearing{
        [&] {
            click(button(QStringLiteral("Sign out")));
            answer(section(), QStringLiteral("Sign out?"), QStringLiteral("Cancel"));
        },
        [&] {
            section().hide();
            section().show();
        },
    };
    for (const auto& clear : clearing) {
        model.accountValue = sampleAccount(true);
        model.publish();
        model.outcome = [&] {
            model.error = refused;
        };
        click(button(QStringLiteral("Delete account…")));
        answer(section(), QStringLiteral("Delete your Tessaron account?"), QStringLiteral("Delete"));
        EXPECT_TRUE(visibleTexts(section()).contains(refused));
        clear();
        EXPECT_FALSE(visibleTexts(section()).contains(refused));
    }
}

} // namespace
} // namespace tessaron::testing
