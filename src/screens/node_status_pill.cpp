#include "screens/node_status_pill.hpp"

#include "screens/tessaron_theme.hpp"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>

namespace tessaron {

namespace {

constexpr int dotSize = 6;
constexpr int dotSpacing = 6;

QFont pillFont(NodeStatusPill::Size size) {
    return TessaronTheme::font(size == NodeStatusPill::Size::regular ? TessaronTheme::title3Size
                                                                     : TessaronTheme::subheadlineSize,
                               QFont::DemiBold);
}

QSize padding(NodeStatusPill::Size size) {
    return size == NodeStatusPill::Size::regular ? QSize(12, 7) : QSize(10, 5);
}

} // namespace

QList<NodeLinkStatus> allNodeLinkStatuses() {
    using enum NodeLinkStatus;
    return {fast, online, offline, busy, checking, paused};
}

QString rawValue(NodeLinkStatus status) {
    switch (status) {
    case NodeLinkStatus::fast:
        return QStringLiteral("fast");
    case NodeLinkStatus::online:
        return QStringLiteral("online");
    case NodeLinkStatus::offline:
        return QStringLiteral("offline");
    case NodeLinkStatus::busy:
        return QStringLiteral("busy");
    case NodeLinkStatus::checking:
        return QStringLiteral("checking");
    case NodeLinkStatus::paused:
        return QStringLiteral("paused");
    }
    return {};
}

std::optional<NodeLinkStatus> nodeLinkStatusFromRawValue(const QString& text) {
    for (const auto status : allNodeLinkStatuses())
        if (rawValue(status) == text)
            return status;
    return std::nullopt;
}

QString label(NodeLinkStatus status) {
    const QByteArray key = "Node status " + rawValue(status).toLatin1();
    return QCoreApplication::translate("Tessaron", key.constData());
}

QColor dotColor(NodeLinkStatus status) {
    switch (status) {
    case NodeLinkStatus::fast:
        return TessaronTheme::success();
    case NodeLinkStatus::online:
        return TessaronTheme::textSecondary();
    case NodeLinkStatus::offline:
        return TessaronTheme::danger();
    case NodeLinkStatus::busy:
    case NodeLinkStatus::checking:
    case NodeLinkStatus::paused:
        break;
    }
    return TessaronTheme::warning();
}

NodeStatusPill::NodeStatusPill(Size size, QWidget* parent)
    : QWidget(parent)
    , size_(size) {
    setObjectName(QStringLiteral("tessaron.nodeStatusPill"));
    setFont(pillFont(size));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    hide();
}

void NodeStatusPill::setStatus(std::optional<NodeLinkStatus> status) {
    if (status_ == status)
        return;
    status_ = status;
    setAccessibleName(status ? label(*status) : QString());
    setVisible(status.has_value());
    updateGeometry();
    update();
}

QSize NodeStatusPill::sizeHint() const {
    if (!status_)
        return {0, 0};
    const QFontMetrics metrics(font());
    const QSize pad = padding(size_);
    return {dotSize + dotSpacing + metrics.horizontalAdvance(label(*status_)) + 2 * pad.width(),
            metrics.height() + 2 * pad.height()};
}

void NodeStatusPill::paintEvent(QPaintEvent*) {
    if (!status_)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = capsule.height() / 2;
    painter.setPen(QPen(TessaronTheme::stroke(), 1));
    painter.setBrush(TessaronTheme::surface());
    painter.drawRoundedRect(capsule, radius, radius);

    const QSize pad = padding(size_);
    const QRectF dot(pad.width(), (height() - dotSize) / 2.0, dotSize, dotSize);
    painter.setPen(Qt::NoPen);
    painter.setBrush(dotColor(*status_));
    painter.drawEllipse(dot);

    painter.setPen(TessaronTheme::textPrimary());
    painter.drawText(QRectF(dot.right() + dotSpacing, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter,
                     label(*status_));
}

} // namespace tessaron
