#include "app/tray_icon.hpp"

#include "app/tray_panel.hpp"

#include "platform/reduce_motion_observer.hpp"
#include "screens/menu_bar_content.hpp"
#include "screens/node_list.hpp"
#include "session/tessaron_session.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAbstractNativeEventFilter>
#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>

#include <xcb/xcb.h>

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

// Four square tiles standing on their corners, laid as one larger diamond.
QPainterPath tiles() {
    QPainterPath path;
    constexpr qreal reach = 6.5;
    for (const QPointF centre :
         {QPointF(32, 24.5), QPointF(39.5, 32), QPointF(32, 39.5), QPointF(24.5, 32)}) {
        path.moveTo(centre.x(), centre.y() - reach);
        path.lineTo(centre.x() + reach, centre.y());
        path.lineTo(centre.x(), centre.y() + reach);
        path.lineTo(centre.x() - reach, centre.y());
        path.closeSubpath();
    }
    return path;
}

// One coat of a glyph: lines and fills in `ink`, each widened by `grow`; the marks cut into a filled
// shield are drawn in `cut`.
struct Coat {
    QColor ink;
    QColor cut;
    qreal grow = 0;
};

void drawGlyph(QPainter& painter, TessaronLinkPhase phase, const Coat& coat) {
    const auto pen = [](const QColor& colour, qreal width) {
        return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    };
    const auto fill = [&](const QPainterPath& path) {
        painter.fillPath(path, coat.ink);
        if (coat.grow > 0)
            painter.strokePath(path, pen(coat.ink, coat.grow));
    };
    painter.setPen(pen(coat.ink, 5 + coat.grow));
    switch (phase) {
    case TessaronLinkPhase::disconnected:
        painter.drawEllipse(QRectF(10, 10, 44, 44));
        fill(tiles());
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
        fill(shield());
        painter.setPen(pen(coat.cut, 5));
        painter.drawPolyline(QPolygonF({QPointF(22, 31), QPointF(29, 39), QPointF(43, 23)}));
        return;
    case TessaronLinkPhase::checkFailed:
        fill(shield());
        painter.setPen(pen(coat.cut, 5));
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

constexpr auto statusNotifierWatcher = "org.kde.StatusNotifierWatcher";

} // namespace

// A tray's arrival is a message to the root window, its departure the end of its window.
class XEmbedTrayEvents final : public QAbstractNativeEventFilter {
public:
    explicit XEmbedTrayEvents(std::function<void()> changed)
        : changed_(std::move(changed)) {}
    ~XEmbedTrayEvents() override { qApp->removeNativeEventFilter(this); }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t")
            return false;
        const auto kind = static_cast<const xcb_generic_event_t*>(message)->response_type & ~0x80;
        if (kind == XCB_CLIENT_MESSAGE || kind == XCB_DESTROY_NOTIFY)
            changed_();
        return false;
    }

private:
    std::function<void()> changed_;
};

QIcon trayIcon(TessaronLinkPhase phase) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // A dark edge under a white face: the edge carries the shape on a light panel, the face on a dark one.
    const QColor edge = withOpacity(Qt::black, 0.85);
    drawGlyph(painter, phase, {edge, edge, 4});
    drawGlyph(painter, phase, {Qt::white, edge});
    return QIcon(pixmap);
}

TessaronTray::TessaronTray(TessaronSession& session, TessaronHomeAccount& account, PowerState& power,
                           const ReduceMotionObserver* reduceMotion, QObject* parent)
    : QObject(parent)
    , session_(session)
    , account_(account)
    , power_(power)
    , reduceMotion_(reduceMotion)
    , icon_(new QSystemTrayIcon(this)) {
    icon_->setObjectName(QStringLiteral("tessaron.tray"));
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            togglePanel();
    });
    connect(&session_, &TessaronSession::phaseChanged, this, &TessaronTray::follow);
    connect(&session_, &TessaronSession::selectedIDChanged, this, &TessaronTray::follow);
    connect(&session_, &TessaronSession::summariesChanged, this, &TessaronTray::follow);
    follow();
    // Shown even without a tray: Qt docks it into an XEmbed tray that appears later.
    icon_->show();
    watchTrayHosts();
    shown_ = QSystemTrayIcon::isSystemTrayAvailable();
}

TessaronTray::~TessaronTray() {
    delete panel_;
}

QWidget* TessaronTray::panel() const {
    return panel_;
}

void TessaronTray::watchTrayHosts() {
    // An XEmbed tray announces itself to the root window and goes with its window; Qt docks or drops the
    // icon on the same events, so the check waits until Qt has handled them.
    trayEvents_ = std::make_unique<XEmbedTrayEvents>(
        [this] { QMetaObject::invokeMethod(this, &TessaronTray::followTrayHost, Qt::QueuedConnection); });
    qApp->installNativeEventFilter(trayEvents_.get());
    // A StatusNotifier host comes with its watcher's name on the session bus.
    auto* watcher =
        new QDBusServiceWatcher(QString::fromLatin1(statusNotifierWatcher), QDBusConnection::sessionBus(),
                                QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        // Registers the icon with the new watcher.
        icon_->hide();
        icon_->show();
        followTrayHost();
    });
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &TessaronTray::followTrayHost);
}

void TessaronTray::followTrayHost() {
    const bool shown = QSystemTrayIcon::isSystemTrayAvailable();
    if (std::exchange(shown_, shown) == shown)
        return;
    if (!shown && panel_)
        panel_->hide();
    Q_EMIT shownChanged(shown);
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
        auto* content = new MenuBarContentView(session_, account_, power_);
        auto* panel = new TessaronTrayPanel(content);
        // The application's shortcut answers here as in its other windows.
        auto* quitShortcut = new QAction(panel);
        quitShortcut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
        connect(quitShortcut, &QAction::triggered, this, &TessaronTray::quitRequested);
        panel->addAction(quitShortcut);
        if (auto* nodes = content->findChild<TessaronNodeList*>(); nodes && reduceMotion_) {
            nodes->setMotionEnvironment(reduceMotion_->reduceMotion(), true);
            connect(reduceMotion_, &ReduceMotionObserver::reduceMotionChanged, nodes,
                    [nodes](bool reduce) { nodes->setMotionEnvironment(reduce, true); });
        }
        connect(content, &MenuBarContentView::openMainWindowRequested, this, [this] {
            panel_->hide();
            Q_EMIT openMainWindowRequested();
        });
        connect(content, &MenuBarContentView::quitRequested, this, &TessaronTray::quitRequested);
        panel_ = panel;
    }
    panel_->openBeside(icon_->geometry());
}

} // namespace tessaron
