#include "fuzz_support.hpp"

#include "platform/vpn_configuration_store.hpp"
#include "platform/vpn_error.hpp"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QTemporaryDir folder;
    const auto path = folder.filePath(QStringLiteral("vpn-configurations.json"));
    const fuzz::QuietLog quiet;
    fuzz::FixedClock clock;
    QDir(folder.path()).removeRecursively();
    QDir().mkpath(folder.path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(fuzz::bytes(data, size)) != qint64(size))
        return 0;
    file.close();

    VpnConfigurationStore store(path, clock);
    try {
        const auto loaded = store.load();
        store.update([](QList<TunnelProviderManager>&) {});
        fuzz::require(store.load() == loaded, "stored configurations read back as they were written");
    } catch (const VpnError&) {
    }
    return 0;
}
