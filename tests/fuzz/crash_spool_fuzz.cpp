#include "fuzz_support.hpp"

#include "updates/crash_spool.hpp"

#include <QJsonArray>
#include <QJsonObject>

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto input = fuzz::bytes(data, size);
    crash_spool::writerOf(QString::fromUtf8(input));
    crash_spool::writerStartTime(input);
    const auto parsed = crash_spool::parse(input);
    if (!parsed)
        return 0;
    const auto tree = QJsonDocument::fromJson(parsed->diagnostic.callStackTree);
    const auto frames = tree["threads"][0]["frames"].toArray();
    fuzz::require(tree.isObject() && frames.size() <= crash_spool::maxFrames, "the call stack stays bounded");
    for (const auto& frame : frames)
        fuzz::require(!frame[QLatin1String("module")].toString().contains(u'/'), "a frame names no folder");
    return 0;
}
