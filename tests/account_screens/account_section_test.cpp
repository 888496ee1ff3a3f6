#include "account_screens/account_section.hpp"
#include "fake_account_screen_model.hpp"
#include "screen_probe.hpp"
#include "session/session_harness.hpp"
#include "support/fake_workspace.hpp"
#include "support/manual_clock.hpp"

namespace tessaron::testing {
namespace {

using namespace Qt::StringLiterals;

TessaronAccount sampleAccount(bool links = true) {
    TessaronAccount account;
    account.email = u"Ada@Example.com"_s;
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

    ManualClock clock;
    FakeWorkspace workspace;
    FakeAccountScreenModel model;
    SessionHarness harness;
    TessaronSession* session = &harness.start();
    QWidget window;
    TessaronAccountSection* section_ = nullptr;
};

TEST_F(AccountSectionTest, PresenceAndRowsFollowTheModel) {
    const QStringList signedIn{u"ACCOUNT"_s, u"Email"_s, u"Ada@Example.com"_s, u"Devices"_s, u"0"_s};
    // Providers known, the account, busy: what the section shows, a disabled button in brackets.
    for (const auto& [providers, account, busy, texts] :
         std::initializer_list<std::tuple<bool, std::optional<TessaronAccount>, bool, QStringList>>{
             {false, std::nullopt, false, {}},
             {true, std::nullopt, true, {u"ACCOUNT"_s, u"Sign in"_s}},
             {false, sampleAccount(false), false,
              signedIn + QStringList{u"Sign out"_s, u"Delete account…"_s}},
             {true, sampleAccount(), true,
              signedIn + QStringList{u"[Sign out]"_s, u"[Delete account…]"_s, u"Windows / Android"_s}}}) {
        model.providersValue = providers ? std::optional(TessaronProviders{}) : std::nullopt;
        model.accountValue = account;
        model.busy = busy;
        model.publish();
        EXPECT_EQ(visibleTexts(section()), sorted(texts));
    }
    // The absent section started no refresh; the present ones did, once for this appearance.
    EXPECT_EQ(model.calls, QStringList{u"refresh"_s});
}

// Neither a refused deletion nor one that never reached the service may look like a success: the error
// stays under the rows until the next action or appearance.
TEST_F(AccountSectionTest, ConfirmationsStartTheirCallWithTheSessionAndADeletionErrorStays) {
    const QString refused = u"The account service refused the request."_s;
    const QString again = u"Please sign in again."_s;
    model.providersValue = TessaronProviders{};
    model.accountValue = sampleAccount();
    section();
    QString shown;
    // The row clicked (none: the section hides and shows again) and the answer; the calls made; the error the
    // call leaves, shown until the next step; whether the call signed out.
    for (const auto& [row, reply, calls, error, signsOut] :
         std::initializer_list<std::tuple<QString, QString, QStringList, QString, bool>>{
             {u"Delete account…"_s, u"Cancel"_s, {}, {}, false},
             {u"Delete account…"_s, u"Delete"_s, {u"deleteAccount"_s}, refused, false},
             {u"Sign out"_s, u"Cancel"_s, {}, {}, false},
             {u"Delete account…"_s, u"Delete"_s, {u"deleteAccount"_s}, refused, false},
             {{}, {}, {u"refresh"_s}, {}, false},
             // No stored token: the model signed out locally and asks to sign in again.
             {u"Delete account…"_s, u"Delete"_s, {u"deleteAccount"_s}, again, true},
             {u"Sign out"_s, u"Sign out"_s, {u"signOut"_s}, {}, false}}) {
        SCOPED_TRACE((row + u" / "_s + reply).toStdString());
        model.accountValue = sampleAccount();
        model.error.reset();
        model.publish();
        EXPECT_TRUE(visibleTexts(section()).contains(shown) || shown.isEmpty()) << "kept through a redraw";
        shown = error;
        model.calls.clear();
        model.lastSession = nullptr;
        model.outcome = [&, signsOut = signsOut] {
            model.error = shown.isEmpty() ? std::nullopt : std::optional(shown);
            if (signsOut)
                model.accountValue.reset();
        };
        if (row.isEmpty()) {
            section().hide();
            section().show();
        } else {
            click(buttonNamed(section(), row));
            answer(section(), row == u"Sign out"_s ? u"Sign out?"_s : u"Delete your Tessaron account?"_s,
                   reply);
        }
        EXPECT_EQ(model.calls, calls);
        EXPECT_EQ(model.lastSession, calls.isEmpty() ? nullptr : session);
        const QStringList texts = visibleTexts(section());
        EXPECT_EQ(texts.contains(refused) || texts.contains(again), !shown.isEmpty());
        EXPECT_TRUE(texts.contains(shown) || shown.isEmpty());
    }
}

} // namespace
} // namespace tessaron::testing
