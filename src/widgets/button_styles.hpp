#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QString>

namespace tessaron {

// How the primary button draws in one state of pointer and press.
struct PrimaryButtonPaint {
    QColor fill;
    qreal textOpacity = 1;
    // Of the whole button.
    qreal opacity = 1;
};
PrimaryButtonPaint primaryButtonPaint(bool enabled, bool hovering, bool pressed);

// A one-line label: its font shrinks down to `minimumScale` of its size to fit `width`, then it is elided.
struct FittedText {
    QFont font;
    QString text;
};
FittedText fitText(const QString& text, const QFont& font, int width, qreal minimumScale);

// The wide white call-to-action button; optionally with a spinner before its title.
class TessaronPrimaryButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TessaronPrimaryButton(QWidget* parent = nullptr);

    void setShowsSpinner(bool shows);
    bool showsSpinner() const { return showsSpinner_; }
    // Whether the spinner may turn; when off, it stands still.
    void setAnimates(bool animates);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool hovering_ = false;
    bool showsSpinner_ = false;
    bool animates_ = true;
    class FrameDriver* frames_;
};

// A borderless button showing one tinted glyph, clickable over an area of at least 44 × 44.
class TessaronIconButton : public QAbstractButton {
    Q_OBJECT
public:
    TessaronIconButton(const QString& symbol, QWidget* parent = nullptr);
    void setTint(const QColor& tint);
    void setGlyphSize(int size);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    QColor tint_;
    int glyphSize_ = 14;
};

// A one-point separator line as wide as its container, hidden from assistive technologies.
class TessaronHairline : public QWidget {
    Q_OBJECT
public:
    explicit TessaronHairline(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tessaron
