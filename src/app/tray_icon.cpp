#include "app/tray_icon.hpp"

#include "screens/menu_bar_content.hpp"
#include "screens/tessaron_theme.hpp"
#include "session/tessaron_session.hpp"

#include <QFrame>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

namespace tessaron {

namespace {

constexpr int side = 64;

QPainterPath shield() {
    QPainterPath path;
    path.moveTo(32, 6);
    path.lineTo(54, 14);
    path.lineTo(54, 30);
    path.cubicTo(54, 44, 44, 53, 32, 58);
    path.cubicTo(20, 53, 10, 44, 10, 30);
    path.lineTo(10, 14);
    path.closeSubpath();
    return path;
}

void drawGlyph(QPainter& painter, TessaronLinkPhase phase) {
    const QColor ink(Qt::white);
    QPen pen(ink, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    switch (phase) {
    case TessaronLinkPhase::disconnected:
        painter.drawEllipse(QRectF(12, 12, 40, 40));
        return;
    case TessaronLinkPhase::connecting:
        painter.drawArc(QRectF(12, 12, 40, 40), 30 * 16, 130 * 16);
        painter.drawArc(QRectF(12, 12, 40, 40), 210 * 16, 130 * 16);
        painter.drawLine(QPointF(49, 19), QPointF(50, 8));
        painter.drawLine(QPointF(15, 45), QPointF(14, 56));
        return;
    case TessaronLinkPhase::checking: {
        painter.drawLine(QPointF(16, 8), QPointF(48, 8));
        painter.drawLine(QPointF(16, 56), QPointF(48, 56));
        QPainterPath glass;
        glass.moveTo(20, 8);
        glass.lineTo(44, 8);
        glass.lineTo(32, 32);
        glass.lineTo(44, 56);
        glass.lineTo(20, 56);
        glass.lineTo(32, 32);
        glass.closeSubpath();
        painter.drawPath(glass);
        return;
    }
    case TessaronLinkPhase::connected:
        painter.fillPath(shield(), ink);
        painter.setPen(QPen(Qt::black, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(QPolygonF({QPointF(22, 31), QPointF(29, 39), QPointF(43, 23)}));
        return;
    case TessaronLinkPhase::checkFailed:
        painter.fillPath(shield(), ink);
        painter.setPen(QPen(Qt::black, 5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(32, 18), QPointF(32, 34));
        painter.drawPoint(QPointF(32, 44));
        return;
    case TessaronLinkPhase::disconnecting:
        painter.drawPath(shield());
        painter.drawLine(QPointF(24, 23), QPointF(40, 39));
        painter.drawLine(QPointF(40, 23), QPointF(24, 39));
        return;
    }
}

} // namespace

QIcon trayIcon(TessaronLinkPhase phase) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    drawGlyph(painter, phase);
    return QIcon(pixmap);
}

TessaronTray::TessaronTray(TessaronSession& session, PowerState& power, QObject* parent)
    : QObject(parent)
    , session_(session)
    , power_(power) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    icon_ = new QSystemTrayIcon(this);
    icon_->setObjectName(QStringLiteral("tessaron.tray"));
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            togglePanel();
    });
    connect(&session_, &TessaronSession::phaseChanged, this, &TessaronTray::follow);
    connect(&session_, &TessaronSession::selectedIDChanged, this, &TessaronTray::follow);
    connect(&session_, &TessaronSession::summariesChanged, this, &TessaronTray::follow);
    follow();
    icon_->show();
}

TessaronTray::~TessaronTray() {
    delete panel_;
}

void TessaronTray::follow() {
    const auto phase = session_.phase();
    icon_->setIcon(trayIcon(phase));
    const auto summary = session_.selectedSummary();
    icon_->setToolTip(trayToolTip(phase, summary ? std::optional(summary->name) : std::nullopt));
}

void TessaronTray::togglePanel() {
    if (panel_ && panel_->isVisible()) {
        panel_->hide();
        return;
    }
    if (!panel_) {
        auto* panel = new QFrame(nullptr, Qt::Popup | Qt::FramelessWindowHint);
        panel->setObjectName(QStringLiteral("tessaron.menuBar.panel"));
        // A hairline edge keeps the black panel apart from a dark desktop.
        panel->setFrameShape(QFrame::Box);
        QPalette edge = panel->palette();
        edge.setColor(QPalette::WindowText, TessaronTheme::stroke());
        edge.setColor(QPalette::Window, TessaronTheme::background());
        panel->setPalette(edge);
        auto* layout = new QVBoxLayout(panel);
        layout->setContentsMargins(1, 1, 1, 1);
        auto* content = new MenuBarContentView(session_, power_, panel);
        layout->addWidget(content);
        connect(content, &MenuBarContentView::openMainWindowRequested, this, [this] {
            panel_->hide();
            Q_EMIT openMainWindowRequested();
        });
        connect(content, &MenuBarContentView::quitRequested, this, &TessaronTray::quitRequested);
        panel_ = panel;
    }
    panel_->adjustSize();
    // Below the icon when it sits at the top of the screen, above it otherwise; kept on the screen.
    const QRect anchor = icon_ ? icon_->geometry() : QRect();
    QScreen* screen = anchor.isValid() ? QGuiApplication::screenAt(anchor.center()) : nullptr;
    const QRect area = (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
    QPoint at = anchor.isValid() ? QPoint(anchor.center().x() - panel_->width() / 2, anchor.bottom() + 4)
                                 : QPoint(area.right() - panel_->width(), area.top());
    if (at.y() + panel_->height() > area.bottom())
        at.setY(anchor.top() - panel_->height() - 4);
    at.setX(std::clamp(at.x(), area.left(), area.right() - panel_->width()));
    at.setY(std::clamp(at.y(), area.top(), area.bottom() - panel_->height()));
    panel_->move(at);
    panel_->show();
}

} // namespace tessaron
