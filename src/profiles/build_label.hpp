#pragma once

#include "platform/bundle_info.hpp"

#include <QString>

namespace tessaron {

// The client label sent with every service request: "macos-direct/<short version>/<build number>".
// The service keys the computer's device slot on the "macos-direct" prefix, so it stays on every platform.
QString clientBuildLabel(const BundleInfo& info = BundleInfo::main());

} // namespace tessaron
