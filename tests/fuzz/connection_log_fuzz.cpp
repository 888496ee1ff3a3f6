#include "fuzz_support.hpp"

#include "profiles/connection_log.hpp"
#include "support/memory_preferences.hpp"

using namespace tessaron;

// The stored log is read back at every start; what it keeps must read back the same once stored again.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FixedClock clock;
    testing::MemoryPreferences preferences;
    preferences.setValue(TessaronConnectionLog::storageKey, fuzz::bytes(data, size));
    TessaronConnectionLog restored(preferences, clock);
    restored.append(QStringLiteral("stored again"));
    const TessaronConnectionLog reread(preferences, clock);
    fuzz::require(reread.entries() == restored.entries(), "a stored log reads back as it was stored");
    return 0;
}
