#pragma once

#include "session/extension_activation.hpp"
#include "session/extension_approval_machine.hpp"

#include <ostream>

namespace tessaron {

// Readable outcomes and phases in failure messages.
inline void PrintTo(const TessaronExtensionActivation& outcome, std::ostream* out) {
    static constexpr const char* names[] = {"failed",      "activated", "notInApplications",
                                            "needsReboot", "timedOut",  "cancelled"};
    *out << names[static_cast<int>(outcome.kind())];
    if (outcome.kind() == TessaronExtensionActivation::Kind::failed)
        *out << "(\"" << outcome.message().toStdString() << "\")";
}

inline void PrintTo(const ExtensionApprovalMachine::Phase& phase, std::ostream* out) {
    static constexpr const char* names[] = {"failed",    "idle",           "submitted",
                                            "waiting",   "rebootRequired", "timedOut",
                                            "activated", "cancelled",      "notInApplications"};
    *out << names[static_cast<int>(phase.kind())];
    if (phase.kind() == ExtensionApprovalMachine::Phase::Kind::failed)
        *out << "(\"" << phase.message().toStdString() << "\")";
}

} // namespace tessaron
