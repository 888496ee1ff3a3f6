#pragma once

#include <QDateTime>
#include <QRect>
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

inline void PrintTo(const QRect& rect, std::ostream* out) {
    *out << rect.width() << "x" << rect.height() << "+" << rect.x() << "+" << rect.y();
}
