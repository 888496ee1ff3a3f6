#pragma once

#include <QGradientStops>
#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <vector>

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

const QGradientStops& flowRingStops();
const QGradientStops& nudgeStops();

// A ring picture whose shape stays while a gradient turns clockwise about its centre. The shape and the angle
// of every pixel it covers are worked out once per size, so a frame costs a colour lookup per covered pixel:
// no trigonometry per pixel, and none of the raster engine's pooled threads woken for a large gradient fill.
class TurningGradientPicture {
public:
    static constexpr int angleSteps = 1024;
    struct CoveredPixel {
        quint32 index;
        quint16 angle;
        quint8 coverage;
    };
    // What never changes for one shape and gradient; pictures of the same shape share it.
    struct Shape {
        QSize size;
        qreal ratio = 0;
        QRegion region;
        std::vector<CoveredPixel> covered;
        std::array<QRgb, angleSteps> colors{};
        // Every colour of the gradient is opaque: what shows through a covered pixel then depends on its
        // coverage alone, not on the angle.
        bool opaque = false;
    };

    // `coverage` holds the shape in white: its alpha scales the gradient's colour.
    static std::shared_ptr<const Shape> makeShape(const QImage& coverage, const QPointF& center,
                                                  const QGradientStops& clockwiseStops);
    void reset(std::shared_ptr<const Shape> shape);
    // Lets go of the shape and of every image.
    void clear();
    // What the gradient is laid over: an image of the shape's size.
    void setUnder(const QImage& under);
    bool fits(const QSize& size, qreal devicePixelRatio) const;
    const Shape* shape() const { return shape_.get(); }
    bool isEmpty() const { return !shape_ && under_.isNull() && frame_.isNull(); }
    // The pixels the shape covers, in device-independent pixels.
    QRegion region() const { return shape_ ? shape_->region : QRegion(); }
    // The picture with the gradient's start `startDegrees` clockwise from three o'clock.
    const QImage& frame(double startDegrees);

private:
    std::shared_ptr<const Shape> shape_;
    QImage under_;
    QImage frame_;
    // For an opaque gradient, what lies beneath each covered pixel (in the shape's order) times what its
    // coverage leaves: a frame then blends half of what it would.
    std::vector<QRgb> showingThrough_;
};

// A decoration laid over a target widget, following its geometry and grown by `outset` on every side. It
// takes no input and is invisible to assistive technologies.
//
// It is opaque where it draws and draws nothing elsewhere (its mask), so a frame repaints no widget under
// it: it lays its picture over one of what lies beneath, taken again only when something beneath is painted
// where the decoration lies.
//
// Its picture exists only while it shows: made when it appears (or is resized while shown) and let go when
// it hides. Decorations of one kind and size share the picture's still parts (the blurred glow, the shape).
//
// A focus frame laid over the target (the keyboard's focus ring) shows through: the mask leaves its pixels
// out while it lies there, so the ring costs nothing per frame.
class OverlayDecoration : public QWidget {
    Q_OBJECT
public:
    OverlayDecoration(QWidget* target, int outset);
    ~OverlayDecoration() override;
    bool isRunning() const;
    // Whether any picture is held, and the shared part of it (the same for decorations of one shape).
    bool holdsPicture() const;
    const void* sharedPicture() const { return shared_.get(); }

    // What a decoration's shape is made of: its still picture (the glow; null for none), the shape the
    // gradient turns in, and the mask of both.
    struct Picture {
        QImage still;
        std::shared_ptr<const TurningGradientPicture::Shape> turning;
        QRegion mask;
    };

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) final;
    void resizeEvent(QResizeEvent* event) final;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // The target's rectangle in this widget's coordinates.
    QRectF targetRect() const;
    FrameDriver* frames() const { return frames_; }
    // A transparent image covering this widget at the screen's pixel density.
    QImage blankCanvas() const;

    // Names the shape beyond its size and pixel density: decorations with equal keys share their picture.
    virtual QString shapeKey() const = 0;
    // Makes the picture's shape for the current size; the still part lies between what is beneath and the
    // turning gradient.
    virtual Picture makePicture() const = 0;
    // Where the gradient starts in the frame drawn now, in degrees clockwise from three o'clock.
    virtual double startDegrees() const = 0;

private:
    void follow();
    void preparePictureForSize();
    void releasePicture();
    void forgetBeneath();
    void retakeBeneath();
    void takeBeneath();
    void watchBeneath();
    void stopWatchingBeneath();
    bool isPaintedBeneath(QObject* watched, QEvent* event) const;
    void followFocusFrame();
    void leaveFocusFrameFree();
    QRegion focusFramePixels() const;

    QWidget* target_;
    int outset_;
    FrameDriver* frames_;
    std::shared_ptr<const Picture> shared_;
    TurningGradientPicture picture_;
    bool beneathTaken_ = false;
    QList<QPointer<QWidget>> beneath_;
    QPointer<QWidget> focusFrame_;
    // Apart from the watch of what lies beneath, which comes and goes with the picture.
    QObject* focusFrameWatch_;
};

// A thin rounded ring whose colour band circles it every 4 s over a soft glow.
class TessaronFlowRing final : public OverlayDecoration {
    Q_OBJECT
public:
    TessaronFlowRing(QWidget* target, double cornerRadius);
    void setAnimates(bool animates);
    void setPhaseOverride(std::optional<double> phase);

protected:
    QString shapeKey() const override;
    Picture makePicture() const override;
    double startDegrees() const override;

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
    // The gradient's rotation now, in degrees.
    double angle() const;

protected:
    void showEvent(QShowEvent* event) override;
    QString shapeKey() const override;
    Picture makePicture() const override;
    double startDegrees() const override;

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
