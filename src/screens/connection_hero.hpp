#pragma once

#include "screens/hero_geography.hpp"
#include "screens/node_status_pill.hpp"
#include "screens/visual_state.hpp"
#include "widgets/fitted_label.hpp"

#include <QWidget>

#include <functional>
#include <optional>

namespace tessaron {

class TessaronGlobeView;
class TessaronPrimaryButton;

// The spaced product name; it shrinks to 0.6 of its size before it is cut.
class TessaronWordmark final : public TessaronFittedLabel {
    Q_OBJECT
public:
    explicit TessaronWordmark(bool compact, QWidget* parent = nullptr);
};

// Whether the hero's globe moves: an explicit flag decides alone; otherwise reduced motion, from the
// system or forced by the override, stops it. An override of false cannot undo the system setting.
bool heroGlobeAnimates(std::optional<bool> animatesOverride, std::optional<bool> reduceMotionOverride,
                       bool systemReduceMotion);
// A title override counts once trimmed of blanks and line breaks; it then also drops the hint.
QString heroPrimaryTitle(TessaronVisualState state, const std::optional<QString>& titleOverride);
QString heroPrimaryHint(TessaronVisualState state, const std::optional<QString>& titleOverride);

// The top of the home view: wordmark, status line with the node's pill, the globe and optionally a primary
// button of its own. It shows what it is given and changes nothing.
class ConnectionHero final : public QWidget {
    Q_OBJECT
public:
    explicit ConnectionHero(QWidget* parent = nullptr);

    void setState(TessaronVisualState state);
    void setNodeStatus(std::optional<NodeLinkStatus> status);
    void setGeography(const TessaronHeroGeo& geo);
    void setReduceMotionOverride(std::optional<bool> reduceMotion);
    void setAnimatesOverride(std::optional<bool> animates);
    void setSystemReduceMotion(bool reduceMotion);
    void setPrimaryTitleOverride(std::optional<QString> title);
    // With an action the hero shows a primary button that runs it.
    void setPrimaryAction(std::function<void()> action);

    TessaronGlobeView& globe() const { return *globe_; }

private:
    void refresh();

    TessaronVisualState state_ = TessaronVisualState::idle;
    TessaronHeroGeo geo_;
    std::optional<bool> reduceMotionOverride_;
    std::optional<bool> animatesOverride_;
    bool systemReduceMotion_ = false;
    std::optional<QString> primaryTitleOverride_;
    std::function<void()> primaryAction_;

    QWidget* header_;
    QWidget* dot_;
    TessaronFittedLabel* title_;
    NodeStatusPill* pill_;
    TessaronGlobeView* globe_;
    QWidget* buttonGap_;
    TessaronPrimaryButton* button_;
};

} // namespace tessaron
