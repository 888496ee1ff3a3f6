#pragma once

#include <QEasingCurve>
#include <QPixmap>
#include <QWidget>

#include <functional>
#include <optional>

class QGraphicsOpacityEffect;
class QLabel;
class QVariantAnimation;

namespace tessaron {

// The interface's one spring, of response 0.5 s and damping fraction 0.85, as an easing curve: it settles,
// within a thousandth, in `springMilliseconds`, overshooting by less than one percent.
inline constexpr int springMilliseconds = 650;
QEasingCurve springCurve();
// The standard ease-out curve, a cubic Bézier through (0.58, 1).
QEasingCurve easeOutCurve();

// Fades a picture of a widget's previous look out over the widget, so that a change of its text
// crossfades; the overlay takes no clicks and goes away when the fade ends.
class TessaronCrossfade final : public QWidget {
    Q_OBJECT
public:
    explicit TessaronCrossfade(QWidget* target);

    // Shows `previous` over the target and fades it out; without motion it shows nothing.
    void start(const QPixmap& previous, bool animates);
    // Drops the old look at once.
    void finish();
    QVariantAnimation& animation() const { return *animation_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPixmap previous_;
    QVariantAnimation* animation_;
};

// Shows and hides a label by moving it in from its top edge while it fades in, the layout around it
// following on a spring; the label stays visible until it has moved out. Without motion it changes at
// once.
class TessaronReveal final : public QObject {
    Q_OBJECT
public:
    // At most `maximumHeight()` tall when shown, asked the first time the label shows or moves: measuring
    // a font loads its engine, which a label hidden at start need not pay for before the first picture.
    TessaronReveal(QLabel* label, std::function<int()> maximumHeight);

    void setShown(bool shown, bool animates);
    bool isShown() const { return shown_; }
    QVariantAnimation& animation() const { return *animation_; }

private:
    void apply(qreal progress);
    int maximumHeight();

    QLabel* label_;
    std::function<int()> measureMaximumHeight_;
    std::optional<int> maximumHeight_;
    bool shown_ = false;
    QGraphicsOpacityEffect* opacity_;
    QVariantAnimation* animation_;
};

} // namespace tessaron
