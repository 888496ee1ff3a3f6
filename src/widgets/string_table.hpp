#pragma once

#include <QString>

class QCoreApplication;

namespace tessaron {

// Installs the application's English string table, so that no raw key reaches the screen. Call once at
// start-up; the table lives as long as the application.
bool installStringTable(QCoreApplication& application);

// A text of the screens, looked up by its English words in the string table.
QString uiText(const char* text);

} // namespace tessaron
