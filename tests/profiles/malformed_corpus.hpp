#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace tessaron::testing {

// JSON documents broken the ways a faulty or hostile peer breaks them, all derived from one valid seed:
// every truncation, random byte damage (invalid UTF-8 included), every value replaced by a hostile token
// (wrong types, huge numbers, lone surrogates, deep nesting, oversized text), and whole-document nesting.
// The same random seed gives the same corpus, so a failure can be replayed.
QList<QByteArray> malformedJSON(const QByteArray& seed, unsigned randomSeed);

// Pasted texts derived the same way from valid ones, plus random, invalid-UTF-8 and very long texts.
QList<QString> malformedTexts(const QList<QString>& seeds, unsigned randomSeed);

} // namespace tessaron::testing
