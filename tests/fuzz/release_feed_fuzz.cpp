#include "fuzz_support.hpp"

#include "profiles/decoding_error.hpp"
#include "support/memory_preferences.hpp"
#include "updates/release_info.hpp"

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::unlessRefused<JsonDecodingError>([&] {
        const auto release = TessaronReleaseInfo::decoded(fuzz::bytes(data, size));
        fuzz::require(!compareVersions(release.version, release.version), "no version is older than itself");
        // The floor a reachable feed leaves behind requires, while the feed is away, what the feed required.
        testing::MemoryPreferences defaults;
        const QString installed = QStringLiteral("1.0");
        const QUrl page(QStringLiteral("https://tessaron.test/download"));
        const auto required = TessaronReleaseInfo::applyFloor(installed, release, defaults, page);
        const auto fromFloor = TessaronReleaseInfo::applyFloor(installed, std::nullopt, defaults, page);
        fuzz::require(required.has_value() == fromFloor.has_value() &&
                          (!required || fromFloor->version == required->minimumVersion),
                      "the floor keeps the feed's requirement");
    });
    return 0;
}
