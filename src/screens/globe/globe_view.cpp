#include "screens/globe/globe_view.hpp"

#include "screens/globe/globe_renderer.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/fitted_label.hpp"
#include "widgets/frame_driver.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QPainter>
#include <QVBoxLayout>

namespace tessaron {

class TessaronGlobeView::Canvas final : public QWidget {
public:
    explicit Canvas(TessaronGlobeView* globe)
        : QWidget(globe)
        , globe_(globe) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        setObjectName(QStringLiteral("tessaron.globe.canvas"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const TessaronGlobeFrame frame{currentFrameDate(), globe_->animates(), &globe_->motion_};
        TessaronGlobeRenderer::draw(painter, size(), globe_->state_, frame);
        // Turns, reveals and fades run at the display's pace; the spin, the sway and the comet move too
        // little between frames for more than the steady pace to show.
        globe_->frames_->setFrameInterval(TessaronGlobeRenderer::isTransitioning(globe_->state_, frame)
                                              ? transitionFrameInterval
                                              : steadyFrameInterval);
    }

private:
    TessaronGlobeView* globe_;
};

TessaronGlobeView::TessaronGlobeView(QWidget* parent)
    : QWidget(parent)
    , canvas_(new Canvas(this))
    , caption_(new TessaronFittedLabel(1, 0.7, this)) {
    setObjectName(QStringLiteral("tessaron.globe"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, TessaronTheme::background());
    palette.setColor(QPalette::WindowText, TessaronTheme::textSecondary());
    setPalette(palette);

    caption_->setObjectName(QStringLiteral("tessaron.globe.caption"));
    caption_->setFont(TessaronTheme::captionFont());
    caption_->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(canvas_, 1);
    layout->addWidget(caption_);
    frames_ = new FrameDriver(canvas_);
    // One element read by its caption: the picture and the caption line are its parts.
    setAccessibleTraits(this, {.combined = true});
    setAccessibleName(state_.caption());
    caption_->setText(state_.caption());
}

void TessaronGlobeView::setState(const TessaronGlobeState& state) {
    if (state == state_)
        return;
    const TessaronGlobeState previous = state_;
    state_ = state;
    if (appeared_)
        motion_.transition(previous, state_, currentFrameDate(), animates());
    caption_->setText(state_.caption());
    setAccessibleName(state_.caption());
    canvas_->update();
}

void TessaronGlobeView::setAnimates(bool animates) {
    frames_->setAnimates(animates);
}

bool TessaronGlobeView::animates() const {
    return frames_->animates();
}

QString TessaronGlobeView::caption() const {
    return caption_->text();
}

void TessaronGlobeView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    appeared_ = true;
    motion_.transition(std::nullopt, state_, currentFrameDate(), animates());
}

} // namespace tessaron
