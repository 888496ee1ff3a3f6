#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <initializer_list>
#include <optional>
#include <utility>

namespace tessaron::testing {

// Sets (a value) or removes (none) environment variables while it lives, then puts back what was there.
// Only for moments when no other thread of the test reads the environment.
class ScopedEnvironment {
public:
    using Change = std::pair<QByteArray, std::optional<QByteArray>>;

    explicit ScopedEnvironment(std::initializer_list<Change> changes) {
        for (const auto& [name, value] : changes) {
            previous_.append({name, qEnvironmentVariableIsSet(name.constData())
                                        ? std::optional(qgetenv(name.constData()))
                                        : std::nullopt});
            apply(name, value);
        }
    }
    ~ScopedEnvironment() {
        for (auto it = previous_.crbegin(); it != previous_.crend(); ++it)
            apply(it->first, it->second);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    static void apply(const QByteArray& name, const std::optional<QByteArray>& value) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }

    QList<Change> previous_;
};

} // namespace tessaron::testing
