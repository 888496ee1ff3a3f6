#pragma once

#include "health/node_link_status.hpp"

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>

#include <optional>

class QVariantAnimation;

namespace tessaron {

QList<NodeLinkStatus> allNodeLinkStatuses();
QString rawValue(NodeLinkStatus status);
// The status whose raw value is exactly `text`; none for any other text.
std::optional<NodeLinkStatus> nodeLinkStatusFromRawValue(const QString& text);
// The status in the user's language, from the string table's "Node status <raw value>" entries.
QString label(NodeLinkStatus status);
// Only a fast node is green; an online one is grey.
QColor tint(NodeLinkStatus status);

// A capsule naming a node's link status beside a coloured dot; draws nothing without a status. With motion
// allowed, a change of status eases out over 0.35 s: the dot changes colour, the capsule its width, and
// the words crossfade.
class NodeStatusPill final : public QWidget {
    Q_OBJECT
public:
    enum class Size { regular, compact };
    static constexpr int changeMilliseconds = 350;

    explicit NodeStatusPill(Size size, QWidget* parent = nullptr);
    void setStatus(std::optional<NodeLinkStatus> status);
    const std::optional<NodeLinkStatus>& status() const { return status_; }
    void setAnimates(bool animates);
    QVariantAnimation& change() const { return *change_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int widthFor(NodeLinkStatus status) const;
    qreal progress() const;

    Size size_;
    std::optional<NodeLinkStatus> status_;
    // The status being left while a change runs.
    std::optional<NodeLinkStatus> previous_;
    bool animates_ = false;
    QVariantAnimation* change_;
};

} // namespace tessaron
