#include "session/extension_failure.hpp"

#include "platform/system_extension_requests.hpp"

#include <gtest/gtest.h>

TEST(ExtensionFailureTest, ClassifiesByDomainAndCode) {
    using enum tessaron::ExtensionFailureClass;
    const auto service = tessaron::SystemExtensionError::domainName;
    const auto foreign = QStringLiteral("NSCocoaErrorDomain");
    const std::tuple<QString, qint64, tessaron::ExtensionFailureClass> cases[] = {
        {service, 1, didNotStart},
        {service, 2, unusableCopy},
        {service, 3, refusedLocation},
        {service, 14, didNotStart},
        {service, 10, forbiddenByPolicy},
        {service, 11, awaitsApproval},
        {service, 13, awaitsApproval},
        // Only the activation service's own domain, spelled exactly, gives its codes a meaning.
        {foreign, 3, didNotStart},
        {foreign, 13, didNotStart},
        {service.toLower(), 3, didNotStart},
    };
    for (const auto& [domain, code, expected] : cases)
        EXPECT_EQ(tessaron::extensionFailureClass(domain, code), expected)
            << domain.toStdString() << " " << code;
}
