#include "screens/node_status_pill.hpp"

#include "widgets/motion.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <cmath>

namespace tessaron {

namespace {

constexpr int dotSize = 6;
constexpr int dotSpacing = 6;

// The rounded design: Quicksand (Debian's fonts-quicksand), or the plain theme font where it is missing.
QFont pillFont(NodeStatusPill::Size size) {
    QFont font = TessaronTheme::font(size == NodeStatusPill::Size::regular ? TessaronTheme::title3Size
                                                                           : TessaronTheme::subheadlineSize,
                                     QFont::DemiBold);
    font.setFamilies({QStringLiteral("Quicksand"), font.family()});
    return font;
}

QSize padding(NodeStatusPill::Size size) {
    return size == NodeStatusPill::Size::regular ? QSize(12, 7) : QSize(10, 5);
}

QColor blend(const QColor& from, const QColor& to, qreal p) {
    return QColor::fromRgbF(static_cast<float>(from.redF() + (to.redF() - from.redF()) * p),
                            static_cast<float>(from.greenF() + (to.greenF() - from.greenF()) * p),
                            static_cast<float>(from.blueF() + (to.blueF() - from.blueF()) * p),
                            static_cast<float>(from.alphaF() + (to.alphaF() - from.alphaF()) * p));
}

} // namespace

QList<NodeLinkStatus> allNodeLinkStatuses() {
    using enum NodeLinkStatus::Value;
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

QColor tint(NodeLinkStatus status) {
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
    , size_(size)
    , change_(new QVariantAnimation(this)) {
    setObjectName(QStringLiteral("tessaron.nodeStatusPill"));
    setFont(pillFont(size));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    change_->setStartValue(0.0);
    change_->setEndValue(1.0);
    change_->setDuration(changeMilliseconds);
    change_->setEasingCurve(easeOutCurve());
    connect(change_, &QVariantAnimation::valueChanged, this, [this] {
        updateGeometry();
        update();
    });
    connect(change_, &QVariantAnimation::finished, this, [this] { previous_.reset(); });
    hide();
}

void NodeStatusPill::setStatus(std::optional<NodeLinkStatus> status) {
    if (status_ == status)
        return;
    const auto leaving = status_;
    status_ = status;
    change_->stop();
    previous_.reset();
    // Only a change from one status to another moves; appearing and going are immediate.
    if (animates_ && leaving && status && isVisible()) {
        previous_ = leaving;
        change_->start();
    }
    setAccessibleName(status ? label(*status) : QString());
    setVisible(status.has_value());
    updateGeometry();
    update();
}

void NodeStatusPill::setAnimates(bool animates) {
    animates_ = animates;
    if (!animates && change_->state() == QAbstractAnimation::Running)
        change_->setCurrentTime(change_->duration());
}

qreal NodeStatusPill::progress() const {
    return previous_ ? change_->currentValue().toReal() : 1;
}

int NodeStatusPill::widthFor(NodeLinkStatus status) const {
    return dotSize + dotSpacing + QFontMetrics(font()).horizontalAdvance(label(status)) +
           2 * padding(size_).width();
}

QSize NodeStatusPill::sizeHint() const {
    if (!status_)
        return {0, 0};
    const qreal p = progress();
    const qreal width =
        previous_ ? widthFor(*previous_) * (1 - p) + widthFor(*status_) * p : widthFor(*status_);
    return {static_cast<int>(std::lround(width)),
            QFontMetrics(font()).height() + 2 * padding(size_).height()};
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
    const qreal p = progress();
    painter.setPen(Qt::NoPen);
    painter.setBrush(previous_ ? blend(tint(*previous_), tint(*status_), p) : tint(*status_));
    painter.drawEllipse(dot);

    painter.setPen(TessaronTheme::textPrimary());
    const QRectF text(dot.right() + dotSpacing, 0, width(), height());
    if (previous_) {
        painter.setOpacity(1 - p);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, label(*previous_));
    }
    painter.setOpacity(p);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, label(*status_));
}

} // namespace tessaron
