#include "profiles/connection_log.hpp"
#include "profiles/identifiers.hpp"
#include "profiles/pairing_replies.hpp"
#include "profiles/redaction.hpp"

#include <QStringList>

#include <benchmark/benchmark.h>

namespace {

// A roster reply of as many nodes as fit the pairing reply cap, each with health and location.
QByteArray fullRosterReply() {
    QStringList profiles, health, geo;
    QByteArray reply;
    for (int index = 0;; ++index) {
        const QString id =
            QStringLiteral("%1-5b2f-4c8e-9a6d-3f1b0e2c4d5a").arg(index, 8, 16, QLatin1Char('0'));
        profiles.append(
            QStringLiteral(
                R"({"version":4,"id":"%1","name":"Node %2 · Zürich","server":"node%2.example.net",)"
                R"("port":443,"userID":"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d","security":"reality",)"
                R"("serverName":"www.example.com","publicKey":"Qm9vdHN0cmFwLWtleS1mb3ItdGVzdGluZy0xMjM0NTY",)"
                R"("shortID":"0123abcd","fingerprint":"chrome","flow":"xtls-rprx-vision",)"
                R"("dnsServers":["1.1.1.1","2606:4700:4700::1111"],)"
                R"("xhttp":{"path":"/tessaron/x","serverName":"cdn.example.org"}})")
                .arg(id, QString::number(index)));
        health.append(
            QStringLiteral(R"("%1":{"up":true,"checkedAt":"2024-05-01T12:00:00.250Z","paused":false,)"
                           R"("load":0.42,"busy":false})")
                .arg(id));
        geo.append(
            QStringLiteral(R"("%1":{"country":"CH","lat":47.37,"lon":8.54,"purpose":"exit"})").arg(id));
        const QByteArray next =
            (QStringLiteral(
                 R"({"usage":{"usedBytes":123456789,"capBytes":987654321,)"
                 R"("resetsAt":"2024-06-01T00:00:00Z"},"clientGeo":{"country":"DE","city":"Berlin",)"
                 R"("lat":52.52,"lon":13.4},"profiles":[)") +
             profiles.join(u',') + QStringLiteral(R"(],"health":{)") + health.join(u',') +
             QStringLiteral(R"(},"geo":{)") + geo.join(u',') + QStringLiteral("}}"))
                .toUtf8();
        if (next.size() > tessaron::TessaronIdentifiers::profileByteCap)
            return reply;
        reply = next;
    }
}

void decodeRosterReply(benchmark::State& state) {
    const QByteArray reply = fullRosterReply();
    qsizetype nodes = 0;
    for (auto _ : state) {
        nodes = tessaron::TessaronRosterResponse::decode(reply).profiles.size();
        benchmark::DoNotOptimize(nodes);
    }
    state.counters["bytes"] = static_cast<double>(reply.size());
    state.counters["nodes"] = static_cast<double>(nodes);
    state.SetBytesProcessed(state.iterations() * reply.size());
}
BENCHMARK(decodeRosterReply)->Unit(benchmark::kMicrosecond);

// A full log's worth of the lines the session writes, with the personal data a real one would carry.
void redactAFullLog(benchmark::State& state) {
    const QStringList kinds =
        QStringLiteral(
            "connect tapped|dial 203.0.113.41:443 via tcp|check passed in 182 ms|"
            "signed in as jane.doe+vpn@mail.example.co.uk|redeeming Zk3_q-9aPmR2xW8vYt4LnB6cHd1JfG0s|"
            "selected profile 3F2504E0-4F89-41D3-9A0C-0305E82C3301 (Z\u00fcrich)|"
            "auto-disconnect: screen locked|failover: node 198.51.100.7 down, trying xhttp|"
            "tunnel phase: blocked|roster pulled: 12 nodes, usage 81 %")
            .split(u'|');
    QStringList lines;
    for (qsizetype n = 0; n < tessaron::TessaronConnectionLog::capacity; ++n)
        lines.append(kinds[n % kinds.size()]);
    for (auto _ : state) {
        for (const auto& line : lines)
            benchmark::DoNotOptimize(tessaron::redactPersonalData(line));
    }
    state.SetItemsProcessed(state.iterations() * lines.size());
}
BENCHMARK(redactAFullLog)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
