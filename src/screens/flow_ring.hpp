#pragma once

#include <QConicalGradient>
#include <QGradientStops>
#include <QWidget>

#include <optional>

namespace tessaron {

class FrameDriver;

// Which of the home view's two nudges are on.
struct TessaronNudgeState {
    bool connect = false;
    bool autoRow = false;
    friend bool operator==(const TessaronNudgeState&, const TessaronNudgeState&) = default;
};

// The band's position as a fraction of a turn: one turn every 4 s, the same on every ring.
double flowRingPhase(double frameDate);
// The nudge gradient's rotation in degrees: a turn every 2.4 s from its last restart, 0 when still.
double nudgeAngle(bool active, bool animates, double restartedAt, double frameDate);

// Stops given clockwise from `startDegrees` (0° at three o'clock), as Qt's counter-clockwise conical
// gradient needs them.
QConicalGradient clockwiseConicalGradient(const QPointF& center, double startDegrees,
                                          const QGradientStops& clockwiseStops);
const QGradientStops& flowRingStops();
const QGradientStops& nudgeStops();

// A decoration laid over a target widget, following its geometry and grown by `outset` on every side. It
// takes no input and is invisible to assistive technologies.
class OverlayDecoration : public QWidget {
    Q_OBJECT
public:
    OverlayDecoration(QWidget* target, int outset);
    bool isRunning() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The target's rectangle in this widget's coordinates.
    QRectF targetRect() const;
    FrameDriver* frames() const { return frames_; }

private:
    void follow();

    QWidget* target_;
    int outset_;
    FrameDriver* frames_;
};

// A thin rounded ring whose colour band circles it every 4 s over a soft glow.
class TessaronFlowRing final : public OverlayDecoration {
    Q_OBJECT
public:
    TessaronFlowRing(QWidget* target, double cornerRadius);
    void setAnimates(bool animates);
    void setPhaseOverride(std::optional<double> phase);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double cornerRadius_;
    std::optional<double> phaseOverride_;
};

// A turning gradient border with a glow that draws the eye to a control.
class TessaronNudgeBorder final : public OverlayDecoration {
    Q_OBJECT
public:
    TessaronNudgeBorder(QWidget* target, double cornerRadius, double lineWidth, double inset);
    void setActive(bool active);
    void setAnimates(bool animates);
    bool isActive() const { return active_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void restartRotation();

    double cornerRadius_;
    double lineWidth_;
    double inset_;
    bool active_ = false;
    bool animates_ = false;
    double restartedAt_ = 0;
};

} // namespace tessaron
