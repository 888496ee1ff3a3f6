#pragma once

#include <QString>

#include <optional>

namespace tessaron {

// Where the e-mail code sign-in stands, as the sign-in view binds it.
struct TessaronLoginFlow {
    enum class Step { email, code, done };

    static constexpr int codeLength = 6;
    static constexpr int maximumResendSeconds = 3600;

    Step step = Step::email;
    // As the user typed it; trimmed and lower-cased only when it is sent.
    QString email;
    // Only ASCII digits, at most six.
    QString code;
    std::optional<QString> challengeID;
    // Seconds until another code may be asked for.
    int resendRemaining = 0;

    // An at sign with something on either side; the service judges the rest.
    bool isEmailPlausible() const;
    // Takes the code field's text: the ASCII digits among its first 24 characters, at most six. True when
    // this call made the code complete.
    bool acceptCode(const QString& text);
    static int clampedResendSeconds(qint64 seconds);

    bool operator==(const TessaronLoginFlow&) const = default;
};

} // namespace tessaron
