#pragma once

namespace tessaron {

// Where the connection check of the current link stands.
enum class TessaronCheckState { idle, running, passed, failed };

} // namespace tessaron
