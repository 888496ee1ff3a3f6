#pragma once

#include "screens/button_styles.hpp"
#include "screens/home_account.hpp"
#include "screens/home_view.hpp"
#include "session/session_harness.hpp"
#include "support/fake_power_state.hpp"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>

#include <gtest/gtest.h>

#include <memory>

namespace tessaron::testing {

class FakeHomeAccount final : public TessaronHomeAccount {
public:
    explicit FakeHomeAccount(SignedIn& signIn)
        : signIn_(signIn) {}

    bool isSignedIn() const override { return signIn_.signedIn; }
    std::optional<QString> accountEmail() const override { return email; }
    QCoro::Task<> refresh(TessaronSession*, CancellationToken) override {
        ++refreshes;
        co_return;
    }
    void set(bool signedIn, std::optional<QString> newEmail) {
        signIn_.signedIn = signedIn;
        email = std::move(newEmail);
        Q_EMIT changed();
    }

    std::optional<QString> email;
    int refreshes = 0;

private:
    SignedIn& signIn_;
};

// A real session on fakes, two places on the roster, and the home view over them.
class HomeWorld {
public:
    HomeWorld();
    TessaronSession& startWithRoster(const QList<TessaronProfile>& nodes);
    TessaronHomeView& view();

    // Rebuilt rows leave their predecessors to the event loop; those are gone before any lookup.
    template <typename Widget = QWidget> Widget* find(const QString& name) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        auto* widget = view().findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }
    QAbstractButton* button(const QString& name) { return find<QAbstractButton>(name); }
    bool hidden(const QString& name) { return find(name)->isHidden(); }
    TessaronPrimaryButton* primary() { return find<TessaronPrimaryButton>("tessaron.connectButton"); }
    void click(const QString& name);
    // Shown, laid out and drawn at the window's default size.
    void show();

    SessionHarness harness;
    FakeHomeAccount account{harness.signIn};
    FakePowerState power;
    FakePowerState sharedPower;
    const TessaronProfile oslo = sampleProfile(QStringLiteral("Oslo"));
    const TessaronProfile tokyo = sampleProfile(QStringLiteral("Tokyo"));
    std::unique_ptr<TessaronHomeView> home;
};

} // namespace tessaron::testing
