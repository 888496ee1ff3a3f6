#include "platform/linux_web_auth_session.hpp"

#include "platform/url_opener.hpp"

#include <QDesktopServices>

namespace tessaron {

LinuxWebAuthSession::~LinuxWebAuthSession() {
    finish({.outcome = Outcome::cancelled, .callbackUrl = {}});
}

QCoro::Task<WebAuthSession::Result> LinuxWebAuthSession::authorize(QUrl url, QString callbackScheme) {
    finish({.outcome = Outcome::cancelled, .callbackUrl = {}});
    const OneShot<Result> waiting;
    waiting_ = waiting;
    callbackScheme_ = callbackScheme;
    // A desktop without a browser says so a moment later: the sign-in fails rather than waits for ever.
    browserFailure_ =
        QObject::connect(&UrlOpener::shared(), &UrlOpener::failed, [this, url](const QUrl& failed) {
            if (failed == url)
                finish({.outcome = Outcome::failed, .callbackUrl = {}});
        });
    // The browser may hand the callback back before openUrl returns; then the sign-in is already over.
    if (!QDesktopServices::openUrl(url) && !waiting.isClaimed())
        finish({.outcome = Outcome::failed, .callbackUrl = {}});
    // `this` may be gone once the sign-in ends: only the local OneShot is touched from here on.
    co_return co_await waiting;
}

bool LinuxWebAuthSession::deliverCallback(const QUrl& url) {
    if (!waiting_ || url.scheme().compare(callbackScheme_, Qt::CaseInsensitive) != 0)
        return false;
    finish({.outcome = Outcome::callback, .callbackUrl = url});
    return true;
}

void LinuxWebAuthSession::cancel() {
    finish({.outcome = Outcome::cancelled, .callbackUrl = {}});
}

void LinuxWebAuthSession::finish(Result result) {
    QObject::disconnect(browserFailure_);
    if (!waiting_)
        return;
    // Cleared before resuming: the resumed caller may start the next sign-in at once.
    const OneShot<Result> waiting = *std::exchange(waiting_, std::nullopt);
    waiting.resume(std::move(result));
}

} // namespace tessaron
