#pragma once

#include <Qt>

namespace tessaron {

enum class ScenePhase { active, inactive, background };

// The main window's scene: active while it is shown, not minimised, and the application is in front.
ScenePhase scenePhase(bool windowVisible, bool minimised, Qt::ApplicationState application);

} // namespace tessaron
