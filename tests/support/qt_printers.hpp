#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <ostream>

// Failed comparisons print Qt values as text, not as bytes.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QDateTime& instant, std::ostream* out) {
    *out << instant.toString(Qt::ISODateWithMs).toStdString();
}

inline void PrintTo(const QUuid& id, std::ostream* out) {
    *out << id.toString(QUuid::WithoutBraces).toStdString();
}
