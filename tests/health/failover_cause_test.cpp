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

TEST(FailoverCauseTest, OnlyTheTunnelsOwnCodesAndATimedOutRequestNameACause) {
    const auto tunnel = QStringLiteral("com.hallmere.tessaron.PacketTunnel");
    const std::tuple<QString, qint64, TessaronFailoverCause> cases[] = {
        {tunnel, 12, TessaronFailoverCause::serverUnreachable},
        {tunnel, 10, TessaronFailoverCause::timedOut},
        {tunnel, 4, TessaronFailoverCause::other},
        {QStringLiteral("com.hallmere.tessaron.packettunnel"), 12, TessaronFailoverCause::other},
        {QStringLiteral("TessaronKeychainError"), 12, TessaronFailoverCause::other},
    };
    for (const auto& [domain, code, cause] : cases)
        EXPECT_EQ(tessaron::failoverCause(DomainError(domain, code)), cause) << domain.toStdString() << code;
    EXPECT_EQ(tessaron::failoverCause(std::runtime_error("boom")), TessaronFailoverCause::other);

    EXPECT_EQ(tessaron::failoverCause(HttpFailure{HttpFailure::Kind::timedOut, {}}),
              TessaronFailoverCause::timedOut);
    EXPECT_EQ(tessaron::failoverCause(HttpFailure{HttpFailure::Kind::transport, {}}),
              TessaronFailoverCause::other);
}

} // namespace
