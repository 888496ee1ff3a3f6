#include "widgets/settings_switch.hpp"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace tessaron {

namespace {

constexpr qreal unavailableOpacity = 0.45;

} // namespace

TessaronSettingsSwitch::TessaronSettingsSwitch(QWidget* parent)
    : QCheckBox(parent) {
    setCursor(Qt::PointingHandCursor);
}

void TessaronSettingsSwitch::setAvailable(bool available) {
    available_ = available;
    setFocusPolicy(available ? Qt::StrongFocus : Qt::NoFocus);
    // Qt hands the focus of a widget it disables on to the next one: a focused switch stays enabled,
    // refusing toggles itself, until the focus leaves it.
    setEnabled(available || hasFocus());
    update();
}

void TessaronSettingsSwitch::toggleFrom(QLabel& label) {
    label.setCursor(Qt::PointingHandCursor);
    label.installEventFilter(this);
}

bool TessaronSettingsSwitch::hitButton(const QPoint& position) const {
    return available_ && QCheckBox::hitButton(position);
}

void TessaronSettingsSwitch::nextCheckState() {
    if (available_)
        QCheckBox::nextCheckState();
}

void TessaronSettingsSwitch::keyPressEvent(QKeyEvent* event) {
    if (!available_ && event->key() == Qt::Key_Space) {
        event->accept();
        return;
    }
    QCheckBox::keyPressEvent(event);
}

void TessaronSettingsSwitch::focusOutEvent(QFocusEvent* event) {
    QCheckBox::focusOutEvent(event);
    if (!available_)
        setEnabled(false);
}

void TessaronSettingsSwitch::paintEvent(QPaintEvent*) {
    // The application's palette draws a disabled box as an enabled one: the fade says it.
    QStylePainter painter(this);
    painter.setOpacity(available_ ? 1.0 : unavailableOpacity);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_CheckBox, option);
}

bool TessaronSettingsSwitch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && available_) {
        const auto* release = static_cast<QMouseEvent*>(event);
        const auto* label = static_cast<QWidget*>(watched);
        if (release->button() == Qt::LeftButton && label->rect().contains(release->position().toPoint()))
            click();
    }
    return QCheckBox::eventFilter(watched, event);
}

} // namespace tessaron
