#pragma once

#include <QFont>
#include <QLabel>
#include <QStringList>

namespace tessaron {

// Text laid out in at most `maximumLines` lines of `width`: the font shrinks, down to `minimumScale` of
// its size, until it fits; only then is the last line elided.
struct FittedLines {
    QFont font;
    QStringList lines;
    qreal scale = 1;
};
FittedLines fitLines(const QString& text, const QFont& font, int width, int maximumLines, qreal minimumScale);
// The font at `scale` of its size, its absolute letter spacing scaled alike.
QFont scaledFont(const QFont& font, qreal scale);

// A plain-text label that shrinks its text to fit before it cuts it. Assistive technologies read the whole
// text.
class TessaronFittedLabel : public QLabel {
    Q_OBJECT
public:
    TessaronFittedLabel(int maximumLines, qreal minimumScale, QWidget* parent = nullptr);

    // What is drawn at the current width.
    FittedLines fitted() const;
    // Whether the text had to be cut to fit.
    bool isCut() const;
    // A cut text shows itself whole as the label's tooltip.
    void setTipWhenCut(bool tip) { tipWhenCut_ = tip; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return maximumLines_ > 1; }
    int heightForWidth(int width) const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int maximumLines_;
    qreal minimumScale_;
    bool tipWhenCut_ = false;
};

} // namespace tessaron
