#pragma once

#include "widgets/button_styles.hpp"

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

// Whether a control draws its focus ring: it has the focus, and not from a click (the pointer already shows
// where it is). Fed the control's focus-in and focus-out events.
class TessaronFocusRing {
public:
    bool shows() const { return shows_; }
    void follow(QWidget& control, QFocusEvent* event);

private:
    bool shows_ = false;
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

    // Whether it draws its focus ring: it has the focus, and not from a click.
    bool showsFocus() const { return ring_.shows(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void placeSpinner();

    Look look_;
    bool busy_ = false;
    TessaronSpinner* spinner_;
    TessaronFocusRing ring_;
};

// The sheet's primary button that draws its focus ring itself: the sheet hands it the focus as it opens,
// where a person's first Return or Space is meant, and that person must see where it went.
class TessaronMainActionButton final : public TessaronPrimaryButton {
    Q_OBJECT
public:
    using TessaronPrimaryButton::TessaronPrimaryButton;
    bool showsFocus() const { return ring_.shows(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    TessaronFocusRing ring_;
};

// The ring a focused control of a sheet draws inside its bounds, in the application's focus colour.
void paintFocusRing(QPainter& painter, const QRectF& bounds);

// Words alone, left-aligned in `color` and dimmed while disabled.
QPushButton* flatTextButton(const QString& text, const QColor& color, int verticalPadding = 0);

} // namespace tessaron
