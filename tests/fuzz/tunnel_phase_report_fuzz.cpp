#include "fuzz_support.hpp"

#include "session/tunnel_phase_report.hpp"

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto report = TessaronTunnelPhaseReport::decode(fuzz::bytes(data, size));
    if (report)
        report->isBlocked();
    return 0;
}
