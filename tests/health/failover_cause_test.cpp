#include "health/failover_cause.hpp"
#include "platform/tessaron_error.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using tessaron::HttpFailure;
using tessaron::TessaronFailoverCause;

namespace {

class DomainError final : public tessaron::TessaronError {
public:
    DomainError(QString domain, qint64 code)
        : domain_(std::move(domain))
        , code_(code) {}
    QString domain() const override { return domain_; }
    qint64 code() const override { return code_; }

private:
    QString domain_;
    qint64 code_;
};

} // namespace

TEST(FailoverCauseTest, OnlyTheTunnelsOwnCodesNameACause) {
    const auto tunnel = QStringLiteral("com.hallmere.tessaron.PacketTunnel");
    struct Case {
        QString domain;
        qint64 code;
        TessaronFailoverCause cause;
    };
    const Case cases[] = {
        {tunnel, 12, TessaronFailoverCause::serverUnreachable},
        {tunnel, 10, TessaronFailoverCause::timedOut},
        {tunnel, 4, TessaronFailoverCause::other},
        {QStringLiteral("com.hallmere.tessaron.packettunnel"), 12, TessaronFailoverCause::other},
        {QStringLiteral("TessaronKeychainError"), 12, TessaronFailoverCause::other},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tessaron::failoverCause(DomainError(c.domain, c.code)), c.cause)
            << c.domain.toStdString() << " " << c.code;
    }
    EXPECT_EQ(tessaron::failoverCause(std::runtime_error("boom")), TessaronFailoverCause::other);
}

TEST(FailoverCauseTest, OnlyATimedOutRequestCountsAmongTransportFailures) {
    struct Case {
        HttpFailure::Kind kind;
        TessaronFailoverCause cause;
    };
    const Case cases[] = {
        {HttpFailure::Kind::timedOut, TessaronFailoverCause::timedOut},
        {HttpFailure::Kind::cancelled, TessaronFailoverCause::other},
        {HttpFailure::Kind::tooLarge, TessaronFailoverCause::other},
        {HttpFailure::Kind::transport, TessaronFailoverCause::other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tessaron::failoverCause(HttpFailure{c.kind, {}}), c.cause);
}
