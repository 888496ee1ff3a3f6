#pragma once

#include "screens/globe/globe_state.hpp"

#include <QWidget>

namespace tessaron {

class FrameDriver;
class TessaronFittedLabel;

// The dotted Earth with the user, the exit, the arc between them and a caption naming both places.
class TessaronGlobeView final : public QWidget {
    Q_OBJECT
public:
    explicit TessaronGlobeView(QWidget* parent = nullptr);

    void setState(const TessaronGlobeState& state);
    const TessaronGlobeState& state() const { return state_; }
    void setAnimates(bool animates);
    bool animates() const;
    const TessaronGlobeMotion& motion() const { return motion_; }
    QString caption() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    class Canvas;
    TessaronGlobeState state_;
    TessaronGlobeMotion motion_;
    Canvas* canvas_;
    TessaronFittedLabel* caption_;
    FrameDriver* frames_;
    // Until the view first shows, a new state is where it stands, not where it turns to.
    bool appeared_ = false;
};

} // namespace tessaron
