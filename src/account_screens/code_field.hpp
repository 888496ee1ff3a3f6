#pragma once

#include <QLineEdit>

#include <memory>

namespace tessaron {

class Clock;
class RepeatingTimer;

// The e-mail code's field, in the rounded design. Quicksand's digits are not of one width and carry no
// tabular ones, so the field draws each character centred in a cell as wide as the font's widest digit
// and the tracking: a code keeps its width and its places whatever its digits. The line edit
// underneath keeps the text, the keys, the mouse, the clipboard and what readers hear; it lays its text out
// in the fixed-pitch family tracked to the same cells, and draws none of it. The cells are read from that
// layout, rounded as the line edit rounds its own caret, so a digit, the caret and a click agree to the
// pixel.
class TessaronCodeField final : public QLineEdit {
    Q_OBJECT
public:
    explicit TessaronCodeField(Clock& clock, QWidget* parent = nullptr);
    ~TessaronCodeField() override;

    // What the characters are drawn in: Quicksand, the fixed-pitch family where it is missing.
    const QFont& shownFont() const { return shown_; }
    // The cell of the character at `index`; the caret before it stands at its left edge, between two digits,
    // and a click left of its middle puts the cursor there.
    QRectF cell(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The line the text stands on: the shown font's height, centred in the contents.
    QRectF line() const;
    // Where the line edit's layout puts the caret before each character and after the last.
    QList<int> edges() const;
    QRectF cellAt(const QList<int>& edges, int index) const;
    // The placeholder centred on the line, without the tracking after its last letter.
    QRectF placeholderBox() const;
    qreal caretLeft(const QList<int>& edges) const;
    int heightGain() const;
    // The caret shows at once after a move or an edit and then blinks, as the line edit's own would.
    void showCaret();

    Clock& clock_;
    QFont shown_;
    // The pitch the layout advances by, for the cells past the text.
    qreal cellWidth_ = 0;
    int caretWidth_ = 1;
    std::unique_ptr<RepeatingTimer> blink_;
    bool caretShown_ = false;
};

} // namespace tessaron
