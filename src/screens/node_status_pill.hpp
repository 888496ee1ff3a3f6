#pragma once

#include "health/node_link_status.hpp"

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>

#include <optional>

namespace tessaron {

QList<NodeLinkStatus> allNodeLinkStatuses();
QString rawValue(NodeLinkStatus status);
// The status whose raw value is exactly `text`; none for any other text.
std::optional<NodeLinkStatus> nodeLinkStatusFromRawValue(const QString& text);
// The status in the user's language, from the string table's "Node status <raw value>" entries.
QString label(NodeLinkStatus status);
// Only a fast node is green; an online one is grey.
QColor dotColor(NodeLinkStatus status);

// A capsule naming a node's link status beside a coloured dot; draws nothing without a status.
class NodeStatusPill final : public QWidget {
    Q_OBJECT
public:
    enum class Size { regular, compact };

    explicit NodeStatusPill(Size size, QWidget* parent = nullptr);
    void setStatus(std::optional<NodeLinkStatus> status);
    const std::optional<NodeLinkStatus>& status() const { return status_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Size size_;
    std::optional<NodeLinkStatus> status_;
};

} // namespace tessaron
