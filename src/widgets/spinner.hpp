#pragma once

#include <QColor>
#include <QWidget>

class QPainter;

namespace tessaron {

// Eight spokes fading behind the leading one; `phase` in turns picks the leading spoke.
void paintSpinner(QPainter& painter, const QRectF& box, const QColor& color, double phase);

// A small progress spinner; it turns only while visible and allowed to move.
class TessaronSpinner final : public QWidget {
    Q_OBJECT
public:
    TessaronSpinner(const QColor& color, QWidget* parent = nullptr);
    void setAnimates(bool animates);
    bool isRunning() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
    class FrameDriver* frames_;
};

} // namespace tessaron
