#pragma once

#include "session_harness.hpp"

#include <gtest/gtest.h>

#include <ostream>

// Log lines and errors read as text when a comparison fails.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

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
