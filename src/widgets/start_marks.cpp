#include "widgets/start_marks.hpp"

#include <QDateTime>
#include <QFile>

namespace tessaron {

void markStart(const char* what, qsizetype count) {
    static const QString path = qEnvironmentVariable("TESSARON_START_MARKS");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + ' ' + QByteArray(what) + ' ' +
               QByteArray::number(count) + '\n');
}

} // namespace tessaron
