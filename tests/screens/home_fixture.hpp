#pragma once

#include "screens/home_account.hpp"
#include "screens/home_view.hpp"
#include "session/session_harness.hpp"
#include "support/fake_power_state.hpp"
#include "widgets/button_styles.hpp"

#include <QAbstractAnimation>
#include <QAbstractButton>
#include <QAccessible>
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

// Qt's animations on virtual time: while it lives, they move only as far as the test advances it.
class VirtualAnimationTime final : public QAnimationDriver {
public:
    VirtualAnimationTime() { install(); }
    ~VirtualAnimationTime() override { uninstall(); }
    qint64 elapsed() const override { return elapsed_; }
    void pass(std::chrono::milliseconds step) {
        // A started animation reaches the timer through two posted calls.
        for (int round = 0; round < 2; ++round)
            QCoreApplication::sendPostedEvents();
        elapsed_ += step.count();
        advanceAnimation();
    }

private:
    qint64 elapsed_ = 0;
};

// A real session on fakes, two places on the roster, and the home view over them.
class HomeWorld {
public:
    HomeWorld();
    TessaronSession& startWithRoster(const QList<TessaronProfile>& nodes);
    // The first node's roster names the others: renamed ones change, missing ones go.
    void pullRoster(const QList<TessaronProfile>& nodes);
    // The node rows' names as they stand from top to bottom.
    QStringList rowsFromTop();
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
    // The rows a flow ring is seen around.
    QStringList ringedRows();
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
