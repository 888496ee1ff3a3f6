#pragma once

#include "screens/globe/globe_state.hpp"

#include <QWidget>

class QLabel;

namespace tessaron {

class FrameDriver;

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
    QLabel* caption_;
    FrameDriver* frames_;
};

} // namespace tessaron
