#pragma once

#include "health/latency_sample.hpp"
#include "health/node_link_status.hpp"
#include "profiles/transport.hpp"
#include "screens/flow_ring.hpp"

#include <QList>
#include <QUuid>
#include <QWidget>

#include <optional>

namespace tessaron {

class PowerState;
class TessaronSession;

// How a row shows the user's node choice.
enum class NodeChoiceMark { chosen, autoChosen, notChosen };
// `nodeID` is none for the Auto row. The list passes the selected node as both the manual and the auto id.
NodeChoiceMark nodeChoiceMark(bool autoSelect, const std::optional<QUuid>& manualID,
                              const std::optional<QUuid>& autoID, const std::optional<QUuid>& nodeID);

// What one node row shows.
struct TessaronNodeRowInputs {
    QUuid id;
    QString name;
    NodeLinkStatus status = NodeLinkStatus::checking;
    bool isSelected = false;
    bool isEnabled = false;
    bool inUse = false;
    bool showsFlowRing = false;
    std::optional<QString> countryCode;

    friend bool operator==(const TessaronNodeRowInputs&, const TessaronNodeRowInputs&) = default;
};

// One row per distinct node, in the session's order.
QList<TessaronNodeRowInputs> nodeRows(const TessaronSession& session);
// Rows that carry nothing while locked fade.
double nodeRowOpacity(const TessaronNodeRowInputs& row);
QString nodeRowAccessibleLabel(const TessaronNodeRowInputs& row);

// The Auto row's subtitle: the node in use (with its flag when `withFlag`) and the fallback transport, or
// what Auto does.
QString autoRowSubtitle(bool autoSelect, const std::optional<QString>& nodeName,
                        const std::optional<QString>& countryCode, TessaronTransport transport,
                        bool withFlag);

// The saved connections as a list with an Auto row, their link status and the node in use. Rows lock
// while a link is up or on its way. Rows are kept and updated in place, so that the scroll position, the
// focus and a press in progress outlast every change; a row comes and goes only with its node.
class TessaronNodeList final : public QWidget {
    Q_OBJECT
public:
    TessaronNodeList(TessaronSession& session, PowerState& power, QWidget* parent = nullptr);

    void setNudge(const TessaronNudgeState& nudge, bool animates);
    // The environment: the system's reduce-motion setting and whether the window's scene is active.
    void setMotionEnvironment(bool reduceMotion, bool sceneActive);
    // The list's one motion rule: the flow ring turns and choice marks glide only while it holds.
    bool flowRingAnimates() const;

    void refresh();

private:
    class AutoRow;
    class TessaronNodeRow;
    class RowsBox;

    void updateNodeRows(const QList<TessaronNodeRowInputs>& rows);
    void refreshSamples(const LatencyTable& latencies);
    void placeRows();
    void readInPlacedOrder();

    TessaronSession& session_;
    PowerState& power_;
    TessaronNudgeState nudge_;
    bool nudgeAnimates_ = false;
    bool reduceMotion_ = false;
    bool sceneActive_ = true;

    QWidget* heading_;
    RowsBox* box_;
    AutoRow* autoRow_;
    QList<TessaronNodeRow*> rows_;
    QWidget* footer_;
    LatencyTable shownLatencies_;
};

} // namespace tessaron
