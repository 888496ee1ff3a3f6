#include "fuzz_support.hpp"

#include "platform/vpn_configuration_store.hpp"
#include "platform/vpn_error.hpp"

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QTemporaryDir folder;
    const fuzz::QuietLog quiet;
    fuzz::FixedClock clock;
    const auto path = fuzz::inputFile(folder, QStringLiteral("vpn-configurations.json"), data, size);
    if (!path)
        return 0;

    VpnConfigurationStore store(*path, clock);
    fuzz::unlessRefused<VpnError>([&] {
        const auto loaded = store.load();
        store.update([](QList<TunnelProviderManager>&) {});
        fuzz::require(store.load() == loaded, "stored configurations read back as they were written");
    });
    return 0;
}
