#pragma once

#include <QAbstractButton>
#include <QColor>

class QPushButton;

namespace tessaron {

class TessaronSpinner;

// The white call-to-action of the sign-in sheet: black semibold text on a white rounded plate, faded
// while disabled and while pressed.
struct TessaronSignInPrimaryButtonStyle {
    static constexpr int height = 40;
    static constexpr qreal cornerRadius = 10;
    // Of the whole button.
    static qreal opacity(bool enabled, bool pressed);
};

// A full-width button with a rounded one-point outline; optionally a spinner before its title.
class TessaronOutlinedTextButton : public QAbstractButton {
    Q_OBJECT
public:
    struct Look {
        QColor fill = Qt::transparent;
        QColor outline;
        QColor text;
        QFont font;
        qreal cornerRadius = 8;
        int height = 48;
        // Faded like the sign-in primary style while disabled or pressed.
        bool fadesAsPrimary = false;
        // Text opacity while busy.
        qreal busyTextOpacity = 1;
    };
    TessaronOutlinedTextButton(const QString& text, Look look, QWidget* parent = nullptr);

    // A busy button shows its spinner turning, reduce motion or not: it tells that work goes on.
    void setBusy(bool busy);
    void setTextColor(const QColor& color);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static Look signInPrimary();
    static Look provider();
    static Look secondary();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeSpinner();

    Look look_;
    bool busy_ = false;
    TessaronSpinner* spinner_;
};

// Words alone, left-aligned in `color` and dimmed while disabled.
QPushButton* flatTextButton(const QString& text, const QColor& color, int verticalPadding = 0);

} // namespace tessaron
