#include "fuzz_support.hpp"

#include "platform/json_file_preferences.hpp"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QTemporaryDir folder;
    const auto path = folder.filePath(QStringLiteral("suite.json"));
    const fuzz::QuietLog quiet;
    fuzz::FixedClock clock;
    QDir(folder.path()).removeRecursively();
    QDir().mkpath(folder.path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(fuzz::bytes(data, size)) != qint64(size))
        return 0;
    file.close();

    const JsonFilePreferences preferences(path, clock);
    JsonFilePreferences copy(folder.filePath(QStringLiteral("copy.json")), clock);
    for (const auto& key : preferences.keys())
        copy.setValue(key, preferences.value(key));
    const JsonFilePreferences reread(copy.path(), clock);
    for (const auto& key : preferences.keys())
        fuzz::require(reread.value(key) == preferences.value(key),
                      "every value reads back as it was written");
    return 0;
}
