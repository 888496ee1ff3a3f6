#pragma once

#include <QPlainTextEdit>

#include <optional>

namespace tessaron {

// The text of one log row as a person selects it: read-only, selectable with the mouse and the keyboard,
// laid out as the row draws it (same font, same width, broken at words or anywhere). The list lays this
// one editor over the row a person works in rather than keeping one per row. The text never moves inside
// it: the wheel and the page keys scroll the list, as over any other row.
class TessaronConnectionLogRowText final : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TessaronConnectionLogRowText(const QFont& font, QWidget* parent = nullptr);

    // Shows `text`, read as `spoken`, with nothing selected.
    void showRow(const QString& text, const QString& spoken);

Q_SIGNALS:
    // Escape: the keyboard goes back to the rows.
    void leave();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    bool endsDoubleClick(const QMouseEvent& press) const;

    // The last press the list handed over: when and where it came, on which button.
    struct HandedPress {
        quint64 timestamp;
        QPointF position;
        Qt::MouseButton button;
    };
    std::optional<HandedPress> handedPress_;
};

} // namespace tessaron
