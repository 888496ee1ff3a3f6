#pragma once

#include <QtGlobal>

namespace tessaron {

// For measuring the start: when TESSARON_START_MARKS names a file, each mark appends a line to it with the
// wall-clock time in milliseconds since the epoch, what happened and a count ("1765000000000 node-rows 130"),
// so a tool can set it beside the time it started the process. Without the variable a mark costs nothing.
void markStart(const char* what, qsizetype count);

} // namespace tessaron
