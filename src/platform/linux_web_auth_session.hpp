#pragma once

#include "platform/one_shot.hpp"
#include "platform/web_auth_session.hpp"

#include <QMetaObject>

#include <optional>

namespace tessaron {

// The sign-in page opens in the user's default browser; the callback arrives later as a URL that the
// desktop hands to the running instance, which passes it to `deliverCallback`.
class LinuxWebAuthSession final : public WebAuthSession {
public:
    LinuxWebAuthSession() = default;
    LinuxWebAuthSession(const LinuxWebAuthSession&) = delete;
    LinuxWebAuthSession& operator=(const LinuxWebAuthSession&) = delete;
    // A sign-in still waiting ends as cancelled, so its caller is never left suspended.
    ~LinuxWebAuthSession() override;

    QCoro::Task<Result> authorize(QUrl url, QString callbackScheme) override;
    bool isPending() const override { return waiting_.has_value(); }
    // Only a URL in the waiting sign-in's scheme ends it.
    bool deliverCallback(const QUrl& url) override;
    void cancel() override;

private:
    void finish(Result result);

    std::optional<OneShot<Result>> waiting_;
    QMetaObject::Connection browserFailure_;
    QString callbackScheme_;
};

} // namespace tessaron
