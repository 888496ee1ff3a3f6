#include "profiles/identifiers.hpp"
#include "profiles/importer.hpp"
#include "profiles/pairing_replies.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <benchmark/benchmark.h>

namespace {

using tessaron::TessaronImporter;
using tessaron::TessaronRosterResponse;

QString nodeID(int index) {
    return QStringLiteral("%1-5b2f-4c8e-9a6d-3f1b0e2c4d5a").arg(index, 8, 16, QLatin1Char('0'));
}

QJsonObject profileObject(int index) {
    return {
        {"version", 4},
        {"id", nodeID(index)},
        {"name", QStringLiteral("Node %1 · Zürich").arg(index)},
        {"server", QStringLiteral("node%1.example.net").arg(index)},
        {"port", 443},
        {"userID", "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"},
        {"security", "reality"},
        {"serverName", "www.example.com"},
        {"publicKey", "Qm9vdHN0cmFwLWtleS1mb3ItdGVzdGluZy0xMjM0NTY"},
        {"shortID", "0123abcd"},
        {"fingerprint", "chrome"},
        {"flow", "xtls-rprx-vision"},
        {"dnsServers", QJsonArray{"1.1.1.1", "2606:4700:4700::1111"}},
        {"xhttp", QJsonObject{{"path", "/tessaron/x"}, {"serverName", "cdn.example.org"}}},
    };
}

// A roster reply of as many nodes as fit the pairing reply cap, each with health and location.
QByteArray fullRosterReply() {
    QJsonArray profiles;
    QJsonObject health;
    QJsonObject geo;
    const QJsonObject common{
        {"usage", QJsonObject{{"usedBytes", 123456789},
                              {"capBytes", 987654321},
                              {"resetsAt", "2024-06-01T00:00:00Z"}}},
        {"clientGeo", QJsonObject{{"country", "DE"}, {"city", "Berlin"}, {"lat", 52.52}, {"lon", 13.4}}},
    };
    QByteArray reply;
    for (int index = 0;; ++index) {
        profiles.append(profileObject(index));
        health.insert(nodeID(index), QJsonObject{{"up", true},
                                                 {"checkedAt", "2024-05-01T12:00:00.250Z"},
                                                 {"paused", false},
                                                 {"load", 0.42},
                                                 {"busy", false}});
        geo.insert(nodeID(index),
                   QJsonObject{{"country", "CH"}, {"lat", 47.37}, {"lon", 8.54}, {"purpose", "exit"}});
        QJsonObject roster = common;
        roster.insert("profiles", profiles);
        roster.insert("health", health);
        roster.insert("geo", geo);
        const QByteArray next = QJsonDocument(roster).toJson(QJsonDocument::Compact);
        if (next.size() > tessaron::TessaronIdentifiers::profileByteCap)
            return reply;
        reply = next;
    }
}

void decodeRosterReply(benchmark::State& state) {
    const QByteArray reply = fullRosterReply();
    qsizetype nodes = 0;
    for (auto _ : state) {
        const TessaronRosterResponse roster = TessaronRosterResponse::decode(reply);
        nodes = roster.profiles.size();
        benchmark::DoNotOptimize(nodes);
    }
    state.counters["bytes"] = static_cast<double>(reply.size());
    state.counters["nodes"] = static_cast<double>(nodes);
    state.SetBytesProcessed(state.iterations() * reply.size());
}
BENCHMARK(decodeRosterReply)->Unit(benchmark::kMicrosecond);

void importInvitation(benchmark::State& state) {
    const QByteArray json = QJsonDocument(profileObject(1)).toJson(QJsonDocument::Compact);
    for (auto _ : state) {
        const QByteArray canonical =
            TessaronImporter::decodeInvitationJSON(json, false, false).canonicalJSON();
        benchmark::DoNotOptimize(canonical.data());
    }
}
BENCHMARK(importInvitation)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
