#include "widgets/plain_label.hpp"

#include <QLabel>

namespace tessaron {

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QLabel* plainLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    QLabel* label = plainLabel(text, parent);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

} // namespace tessaron
