#include "widgets/string_table.hpp"

#include <QCoreApplication>
#include <QTranslator>

namespace tessaron {

bool installStringTable(QCoreApplication& application) {
    auto* table = new QTranslator(&application);
    if (!table->load(QStringLiteral(":/tessaron/translations/tessaron_en.qm"))) {
        delete table;
        return false;
    }
    return QCoreApplication::installTranslator(table);
}

QString uiText(const char* text) {
    return QCoreApplication::translate("Tessaron", text);
}

} // namespace tessaron
