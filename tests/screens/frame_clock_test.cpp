#include "screens/flow_ring.hpp"
#include "screens/globe/globe_view.hpp"
#include "support/manual_clock.hpp"
#include "support/virtual_frames.hpp"
#include "widgets/frame_clock.hpp"
#include "widgets/frame_paced_animations.hpp"
#include "widgets/gaussian_blur.hpp"
#include "widgets/spinner.hpp"
#include "widgets/symbol_icons.hpp"

#include <QCoreApplication>
#include <QLabel>
#include <QPaintEvent>
#include <QTest>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include <map>

using namespace std::chrono_literals;

namespace tessaron::testing {

namespace {

// Counts the paints each widget of a window receives.
class PaintCount final : public QObject {
public:
    explicit PaintCount(QWidget* window) {
        for (auto* widget : window->findChildren<QWidget*>())
            widget->installEventFilter(this);
    }
    int of(const QWidget* widget) const {
        const auto found = counts_.find(widget);
        return found == counts_.end() ? 0 : found->second;
    }
    int besides(const QList<const QWidget*>& widgets) const {
        int total = 0;
        for (const auto& [widget, count] : counts_)
            if (!widgets.contains(widget))
                total += count;
        return total;
    }
    void reset() { counts_.clear(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++counts_[static_cast<QWidget*>(watched)];
        return false;
    }

private:
    std::map<const QWidget*, int> counts_;
};

// A window with everything that moves: the globe, a node row with its flow ring, a control with its nudge
// border and a spinner.
struct MovingWindow {
    MovingWindow() {
        QPalette black = window.palette();
        black.setColor(QPalette::Window, Qt::black);
        window.setPalette(black);
        window.resize(400, 560);
        globe->setGeometry(0, 0, 400, 300);
        row->setGeometry(20, 320, 360, 60);
        label->setGeometry(16, 14, 200, 32);
        control->setGeometry(20, 420, 360, 48);
        spinner->move(20, 500);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void move(bool animates) {
        globe->setAnimates(animates);
        ring->setAnimates(animates);
        nudge->setAnimates(animates);
        spinner->setAnimates(animates);
        QCoreApplication::sendPostedEvents();
    }

    QWidget window;
    TessaronGlobeView* globe = new TessaronGlobeView(&window);
    QWidget* row = new QWidget(&window);
    QLabel* label = new QLabel(QStringLiteral("Oslo"), row);
    TessaronFlowRing* ring = new TessaronFlowRing(row, 6);
    QWidget* control = new QWidget(&window);
    TessaronNudgeBorder* nudge = new TessaronNudgeBorder(control, 8, 2, 0);
    TessaronSpinner* spinner = new TessaronSpinner(Qt::white, &window);
};

} // namespace

TEST(FrameClock, OneTickDrivesEveryMovingPartAndNothingTicksWhileNothingMoves) {
    VirtualFrames time;
    MovingWindow w;
    w.nudge->setActive(true);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(std::pair(time.frames.isTicking(), time.clock.pendingCount()),
              std::pair(false, std::size_t{0}));

    w.move(true);
    EXPECT_EQ(std::tuple(time.frames.memberCount(), time.frames.tickInterval()),
              std::tuple(std::size_t{4}, steadyFrameInterval));
    PaintCount paints(&w.window);
    time.advance(1s);
    // Fifteen wake-ups in a second, and on each of them every moving part drew its frame.
    EXPECT_EQ(time.clock.wakeUps().size(), 15U);
    const QList<const QWidget*> moving{w.globe->findChild<QWidget*>(QStringLiteral("tessaron.globe.canvas")),
                                       w.ring, w.nudge, w.spinner};
    for (const auto* widget : moving)
        EXPECT_EQ(paints.of(widget), 15) << widget->metaObject()->className();

    // Hidden or still, nothing is a member and no timer is armed.
    w.window.hide();
    EXPECT_EQ(std::tuple(time.frames.memberCount(), time.clock.pendingCount()),
              std::tuple(std::size_t{0}, std::size_t{0}));
    w.window.show();
    w.move(false);
    EXPECT_EQ(std::tuple(time.frames.memberCount(), time.clock.pendingCount()),
              std::tuple(std::size_t{0}, std::size_t{0}));
}

TEST(FrameClock, AFasterMemberSetsThePaceAndSlowerOnesKeepTheirOwn) {
    ManualClock clock;
    TessaronFrameClock frames(clock);
    int steady = 0;
    int fast = 0;
    frames.join(steadyFrameInterval, [&steady] { ++steady; });
    const auto turning = frames.join(transitionFrameInterval, [&fast] { ++fast; });
    clock.advance(1s);
    EXPECT_EQ(std::tuple(steady, fast, frames.tickInterval()), std::tuple(15, 60, transitionFrameInterval));
    frames.leave(turning);
    clock.advance(1s);
    EXPECT_EQ(std::tuple(steady, fast, frames.tickInterval()), std::tuple(30, 60, steadyFrameInterval));
}

// Qt's own animations move on the frame clock's ticks, in its time, so a crossfade beside the globe's turn
// costs no paint pass of its own; the clock stops with the last of them.
TEST(FrameClock, QtAnimationsAdvanceOnItsTicksAndInItsTime) {
    VirtualFrames time;
    FramePacedAnimations paced;
    paced.install();
    QVariantAnimation fade;
    fade.setStartValue(0.0);
    fade.setEndValue(1.0);
    fade.setDuration(300);
    int changes = 0;
    QObject::connect(&fade, &QVariantAnimation::valueChanged, [&changes] { ++changes; });
    fade.start();
    // The start reaches the driver through two posted calls.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
    changes = 0;
    EXPECT_EQ(std::pair(time.frames.memberCount(), time.frames.tickInterval()),
              std::pair(std::size_t{1}, transitionFrameInterval));
    const auto before = time.clock.wakeUps().size();
    time.clock.advance(100ms);
    QCoreApplication::sendPostedEvents();
    // Six ticks in 100 ms, each moving the fade by a tick's time (in whole milliseconds).
    EXPECT_EQ(std::pair(time.clock.wakeUps().size() - before, changes), std::pair(std::size_t{6}, 6));
    EXPECT_NEAR(fade.currentTime(), 100, 1);
    time.clock.advance(250ms);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(std::tuple(fade.state(), time.frames.memberCount(), time.frames.isTicking()),
              std::tuple(QAbstractAnimation::Stopped, std::size_t{0}, false));
    paced.uninstall();
}

TEST(FrameClock, ARingFrameRepaintsNothingBeneathButAChangeBeneathShows) {
    VirtualFrames time;
    MovingWindow w;
    w.nudge->setActive(true);
    w.move(true);
    time.advance(steadyFrameInterval);
    PaintCount paints(&w.window);
    time.advance(1s);
    const QList<const QWidget*> moving{w.globe->findChild<QWidget*>(QStringLiteral("tessaron.globe.canvas")),
                                       w.ring, w.nudge, w.spinner};
    EXPECT_EQ(paints.besides(moving), 0);
    EXPECT_EQ(std::pair(paints.of(w.ring), paints.of(w.nudge)), std::pair(15, 15));

    // The row turns red beneath the ring: the ring's glow, drawn over a picture of the row, shows it.
    const auto beside = [&] {
        return w.window.grab(QRect(w.row->mapTo(&w.window, QPoint(1, 30)), QSize(1, 1)))
            .toImage()
            .pixel(0, 0);
    };
    EXPECT_LT(qRed(beside()), 64);
    w.row->setAutoFillBackground(true);
    QPalette red = w.row->palette();
    red.setColor(QPalette::Window, Qt::red);
    w.row->setPalette(red);
    time.advance(steadyFrameInterval);
    EXPECT_GT(qRed(beside()), 192);
}

// A change beneath a turning ring is painted in its own pass: the ring's new picture of what lies beneath
// shows with its next frame and asks the window for no pass of its own, which a spinner or a crossfade
// beneath would otherwise double.
TEST(FlowRing, AChangeBeneathCostsTheWindowNoPaintPassOfItsOwn) {
    VirtualFrames time;
    MovingWindow w;
    w.move(true);
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(w.ring->testAttribute(Qt::WA_OpaquePaintEvent));
    struct Passes final : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            count += event->type() == QEvent::UpdateRequest;
            return false;
        }
    } passes;
    w.window.installEventFilter(&passes);
    for (int change = 0; change < 3; ++change) {
        w.row->update();
        // The pass, the picture taken after it, and whatever that asks for.
        for (int round = 0; round < 3; ++round)
            QCoreApplication::sendPostedEvents();
    }
    EXPECT_EQ(std::pair(passes.count, w.ring->testAttribute(Qt::WA_OpaquePaintEvent)), std::pair(3, true));
}

// A widget that lay beneath a ring may move to another window, as the focus ring does when the focus goes
// from the tray panel to the main window: its paints there are none of the ring's business.
TEST(FlowRing, AWidgetThatLayBeneathPaintsInTheWindowItMovedTo) {
    VirtualFrames time;
    MovingWindow w;
    w.move(true);
    auto* mover = new QWidget(w.row);
    mover->setGeometry(0, 0, 40, 20);
    mover->show();
    time.advance(steadyFrameInterval);
    QWidget other;
    other.resize(200, 100);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    mover->setParent(&other);
    mover->show();
    PaintCount moved(&other);
    PaintCount turning(&w.window);
    mover->repaint();
    time.advance(steadyFrameInterval);
    EXPECT_EQ(std::pair(moved.of(mover) > 0, turning.of(w.ring) > 0), std::pair(true, true));
}

// Picturing a window sends its hidden widgets their sizes: a hidden ring takes no picture from that. Rings of
// one size share theirs, which outlives a ring that hides while another shows.
TEST(FlowRing, HoldsAPictureOnlyWhileShownAndSharesItWithRingsOfItsSize) {
    MovingWindow w;
    const auto rowWithRing = [&](int y, int width) {
        auto* row = new QWidget(&w.window);
        row->setGeometry(20, y, 300, 60);
        row->show();
        auto* ring = new TessaronFlowRing(row, 6);
        row->resize(width, 60);
        (void)w.window.grab();
        return ring;
    };
    TessaronFlowRing* same = rowWithRing(390, 360);
    TessaronFlowRing* wider = rowWithRing(460, 380);
    const auto holding = [&] {
        return std::tuple(w.ring->holdsPicture(), same->holdsPicture(), wider->holdsPicture());
    };
    EXPECT_EQ(holding(), std::tuple(true, false, false));

    same->show();
    wider->show();
    EXPECT_EQ(holding(), std::tuple(true, true, true));
    EXPECT_EQ(same->sharedPicture(), w.ring->sharedPicture());
    EXPECT_NE(wider->sharedPicture(), w.ring->sharedPicture());
    // A shown ring made its picture for the size it was given while hidden.
    EXPECT_EQ(wider->mask().boundingRect().width(), w.ring->mask().boundingRect().width() + 20);

    const void* shared = w.ring->sharedPicture();
    w.ring->hide();
    EXPECT_EQ(holding(), std::tuple(false, true, true));
    EXPECT_EQ(same->sharedPicture(), shared);
    w.window.hide();
    EXPECT_EQ(holding(), std::tuple(false, false, false));
}

TEST(NudgeBorder, TurnsAfreshWhenItAppearsAgain) {
    VirtualFrames time;
    MovingWindow w;
    w.nudge->setActive(true);
    w.move(true);
    time.advance(18 * steadyFrameInterval);
    EXPECT_NEAR(w.nudge->angle(), 180, 0.2);
    w.window.hide();
    time.advance(9 * steadyFrameInterval);
    w.window.show();
    EXPECT_NEAR(w.nudge->angle(), 0, 1e-6);
}

} // namespace tessaron::testing
