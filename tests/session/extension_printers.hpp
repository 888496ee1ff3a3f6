#pragma once

#include "session/extension_activation.hpp"
#include "session/extension_approval_machine.hpp"

#include <ostream>

namespace tessaron {

// Outcomes and phases in failure messages: the position of the kind and the message of a failure.
inline void PrintTo(const TessaronExtensionActivation& outcome, std::ostream* out) {
    *out << "kind " << int(outcome.kind()) << " \"" << outcome.message().toStdString() << '"';
}

inline void PrintTo(const ExtensionApprovalMachine::Phase& phase, std::ostream* out) {
    *out << "kind " << int(phase.kind()) << " \"" << phase.message().toStdString() << '"';
}

} // namespace tessaron
