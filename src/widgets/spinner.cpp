#include "widgets/spinner.hpp"

#include "widgets/frame_driver.hpp"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tessaron {

namespace {

constexpr int spokes = 8;
constexpr int spinnerSize = 16;

} // namespace

void paintSpinner(QPainter& painter, const QRectF& box, const QColor& color, double phase) {
    // The phase may be a date in seconds, far beyond what an int holds: only its fraction of a turn counts.
    const double turn = phase - std::floor(phase);
    const int lead = std::min(spokes - 1, static_cast<int>(turn * spokes));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.center());
    for (int spoke = 0; spoke < spokes; ++spoke) {
        const int age = (lead - spoke + spokes) % spokes;
        QColor shade = color;
        shade.setAlphaF(static_cast<float>(color.alphaF() * (1.0 - 0.8 * age / spokes)));
        painter.setPen(QPen(shade, 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -box.height() * 0.25), QPointF(0, -box.height() / 2));
        painter.rotate(360.0 / spokes);
    }
    painter.restore();
}

TessaronSpinner::TessaronSpinner(const QColor& color, QWidget* parent)
    : QWidget(parent)
    , color_(color)
    , frames_(new FrameDriver(this)) {
    setFixedSize(spinnerSize, spinnerSize);
}

void TessaronSpinner::setAnimates(bool animates) {
    frames_->setAnimates(animates);
}

bool TessaronSpinner::isRunning() const {
    return frames_->isRunning();
}

void TessaronSpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintSpinner(painter, QRectF(rect()), color_, frames_->animates() ? currentFrameDate() : 0);
}

} // namespace tessaron
