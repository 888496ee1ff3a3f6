#pragma once

#include "session_harness.hpp"
#include "support/qt_printers.hpp"

#include <gtest/gtest.h>

#include <ostream>

namespace tessaron {

inline void PrintTo(TessaronLinkPhase phase, std::ostream* out) {
    *out << title(phase).toStdString();
}

} // namespace tessaron

namespace tessaron::testing {

// A test that is itself the world of one session; cases that need a fresh world each make their own
// SessionHarness.
class SessionLinkTest : public ::testing::Test, public SessionHarness {};

} // namespace tessaron::testing
