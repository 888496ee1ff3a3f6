#pragma once

#include <QString>

#include <optional>

namespace tessaron::sign_in {

// The last e-mail code that the local service's log `text` gives for `email` (compared without regard to
// case, as the service lower-cases it).
std::optional<QString> emailCodeInLog(const QString& text, const QString& email);

// Waits up to a minute for the code to appear in the log file at `path`, past what it held at `offset`.
std::optional<QString> awaitEmailCodeInLog(const QString& path, qint64 offset, const QString& email);

// Asks on the terminal; none when the input ended.
std::optional<QString> promptForEmailCode(const QString& email);

} // namespace tessaron::sign_in
