#include "fuzz_support.hpp"

#include "platform/json_file_preferences.hpp"

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QTemporaryDir folder;
    const fuzz::QuietLog quiet;
    fuzz::FixedClock clock;
    const auto path = fuzz::inputFile(folder, QStringLiteral("suite.json"), data, size);
    if (!path)
        return 0;

    const JsonFilePreferences preferences(*path, clock);
    JsonFilePreferences copy(folder.filePath(QStringLiteral("copy.json")), clock);
    for (const auto& key : preferences.keys())
        copy.setValue(key, preferences.value(key));
    const JsonFilePreferences reread(copy.path(), clock);
    for (const auto& key : preferences.keys())
        fuzz::require(reread.value(key) == preferences.value(key),
                      "every value reads back as it was written");
    return 0;
}
