#pragma once

namespace tessaron {

class TessaronConnectionLogRowText;

// Readers meet the editor laid over a log row as that row's text: a label named by the row's time and text,
// whose characters they read and select, standing in the list rather than in the list's unnamed viewport.
void useRowTextAccessible(TessaronConnectionLogRowText* text);

} // namespace tessaron
