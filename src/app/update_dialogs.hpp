#pragma once

#include "platform/linux_update_framework.hpp"

#include <QString>

namespace tessaron {

// The outcome of a check the user asked for, in small message boxes that do not block the event loop.
class MessageBoxUpdateDialogs final : public UpdateDialogs {
public:
    explicit MessageBoxUpdateDialogs(QString installedVersion);

    void showFound(const FoundUpdate& update, std::function<void()> download) override;
    void showUpToDate() override;
    void showCheckFailed() override;

private:
    QString installedVersion_;
};

} // namespace tessaron
