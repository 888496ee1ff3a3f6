#pragma once

#include <QWidget>

class QAbstractButton;
class QHBoxLayout;
class QLabel;

namespace tessaron {

// The bar above a page: its title centred, an optional control on each side (Back, Cancel, Done).
class TessaronPageBar final : public QWidget {
    Q_OBJECT
public:
    explicit TessaronPageBar(const QString& title, QWidget* parent = nullptr);

    // A flat text button on the leading or trailing side; the bar owns it.
    QAbstractButton* addLeading(const QString& text, const QString& objectName);
    QAbstractButton* addTrailing(const QString& text, const QString& objectName);
    QString title() const;

private:
    QLabel* title_;
    QHBoxLayout* leading_;
    QHBoxLayout* trailing_;
};

} // namespace tessaron
