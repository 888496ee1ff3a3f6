#include "widgets/scene_phase.hpp"

namespace tessaron {

ScenePhase scenePhase(bool windowVisible, bool minimised, Qt::ApplicationState application) {
    if (!windowVisible || minimised)
        return ScenePhase::background;
    return application == Qt::ApplicationActive ? ScenePhase::active : ScenePhase::inactive;
}

} // namespace tessaron
