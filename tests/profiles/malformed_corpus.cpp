#include "malformed_corpus.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

#include <random>

namespace tessaron::testing {

namespace {

constexpr int damageVariants = 300;
constexpr int randomTexts = 200;

// One token for each way a value goes wrong: other types, numbers past every range, broken text, depth, size.
QList<QByteArray> hostileTokens() {
    return {
        "null",
        "true",
        "[]",
        "{}",
        "\"x\"",
        "1.5",
        "-1",
        "1e400",
        "9223372036854775808",
        "NaN",
        "\"\xff\xfe\"",
        "\"\\ud800\"",
        "\"\\u0000\"",
        QByteArray(5000, '[') + QByteArray(5000, ']'),
        '"' + QByteArray(70'000, 'a') + '"',
    };
}

using Path = QList<QVariant>;

void collectPaths(const QJsonValue& value, const Path& path, QList<Path>& paths) {
    if (!path.isEmpty())
        paths.append(path);
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto entry = object.begin(); entry != object.end(); ++entry)
            collectPaths(entry.value(), Path(path) << entry.key(), paths);
    } else if (value.isArray()) {
        const QJsonArray array = value.toArray();
        for (int i = 0; i < array.size(); ++i)
            collectPaths(array[i], Path(path) << i, paths);
    }
}

QJsonValue replaced(const QJsonValue& value, const Path& path, qsizetype depth, const QJsonValue& with) {
    if (depth == path.size())
        return with;
    if (value.isObject()) {
        QJsonObject object = value.toObject();
        const QString key = path[depth].toString();
        object.insert(key, replaced(object.value(key), path, depth + 1, with));
        return object;
    }
    QJsonArray array = value.toArray();
    const int index = path[depth].toInt();
    array.replace(index, replaced(array[index], path, depth + 1, with));
    return array;
}

// Puts raw bytes where a value was, so tokens Qt would never write (1e400, broken UTF-8) reach the parser.
QList<QByteArray> valueReplacements(const QByteArray& seed) {
    const QJsonObject root = QJsonDocument::fromJson(seed).object();
    const QByteArray written = "\"\\u0001hole\\u0001\"";
    QList<Path> paths;
    collectPaths(root, {}, paths);
    QList<QByteArray> variants;
    for (const Path& path : paths) {
        const QJsonValue holed = replaced(root, path, 0, QStringLiteral("\x01hole\x01"));
        const QByteArray text = QJsonDocument(holed.toObject()).toJson(QJsonDocument::Compact);
        for (const QByteArray& token : hostileTokens())
            variants.append(QByteArray(text).replace(written, token));
    }
    return variants;
}

QList<QByteArray> byteDamage(const QByteArray& seed, std::mt19937& random) {
    const QByteArray spicy("\x00\x01\"\\{}[],:0-e\x80\xc0\xc3\xe2\xed\xf0\xff", 20);
    std::uniform_int_distribution<qsizetype> position(0, seed.size() - 1);
    std::uniform_int_distribution<int> count(1, 3);
    std::uniform_int_distribution<int> byte(0, 255);
    QList<QByteArray> variants;
    for (int i = 0; i < damageVariants; ++i) {
        QByteArray damaged = seed;
        for (int n = count(random); n > 0; --n) {
            const int pick = byte(random);
            damaged[position(random)] = pick < 128 ? spicy[pick % spicy.size()] : char(pick);
        }
        variants.append(damaged);
    }
    return variants;
}

} // namespace

QList<QByteArray> malformedJSON(const QByteArray& seed, unsigned randomSeed) {
    std::mt19937 random(randomSeed);
    QList<QByteArray> corpus;
    for (qsizetype length = 0; length < seed.size(); ++length)
        corpus.append(seed.left(length));
    corpus.append(byteDamage(seed, random));
    corpus.append(valueReplacements(seed));
    corpus.append({QByteArray(100'000, '['), QByteArray("{\"a\":").repeated(100'000), "\xef\xbb\xbf" + seed,
                   seed + seed, "\"" + seed + "\""});
    return corpus;
}

QList<QString> malformedTexts(const QList<QString>& seeds, unsigned randomSeed) {
    std::mt19937 random(randomSeed);
    const QString alphabet = QStringLiteral(" \t\n%#&=?/:@[]-_.+aZ09éЖ") + QChar(0xD800) + QChar(0xDC00) +
                             QChar(0xFFFF) + QChar(0) + QString::fromUcs4(U"😀");
    std::uniform_int_distribution<qsizetype> symbol(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 200);

    QList<QString> corpus;
    for (const QString& seed : seeds) {
        for (qsizetype cut = 0; cut < seed.size(); ++cut)
            corpus.append(seed.left(cut));
        std::uniform_int_distribution<qsizetype> position(0, seed.size() - 1);
        for (int i = 0; i < damageVariants; ++i) {
            QString damaged = seed;
            damaged[position(random)] = alphabet[symbol(random)];
            corpus.append(damaged);
        }
    }
    for (int i = 0; i < randomTexts; ++i) {
        QString text;
        QByteArray bytes;
        for (int n = length(random); n > 0; --n) {
            text.append(alphabet[symbol(random)]);
            bytes.append(char(byte(random)));
        }
        corpus.append(text);
        corpus.append(QString::fromUtf8(bytes));
    }
    corpus.append(QString(1'000'000, u'a'));
    corpus.append(QStringLiteral("tessaron://") + QString(100'000, u'%'));
    return corpus;
}

} // namespace tessaron::testing
