#pragma once

#include <QUrl>

#include <qcoro/qcorotask.h>

namespace tessaron {

// A sign-in at an outside identity provider in the user's own browser, which comes back to the application
// through a URL in the application's scheme. One sign-in waits at a time; it finishes exactly once.
class WebAuthSession {
public:
    enum class Outcome {
        callback,  // the browser came back with a URL in the scheme
        cancelled, // the user gave up
        failed,    // the browser could not be opened
    };
    struct Result {
        Outcome outcome = Outcome::failed;
        QUrl callbackUrl; // set with Outcome::callback only
    };

    virtual ~WebAuthSession() = default;

    // Opens url in the browser and waits for the URL of callbackScheme that ends the sign-in. Starting a
    // new sign-in finishes a waiting one as cancelled.
    virtual QCoro::Task<Result> authorize(QUrl url, QString callbackScheme) = 0;
    // True while a sign-in waits for its callback.
    virtual bool isPending() const = 0;
    // Ends the waiting sign-in with url. False, and nothing changes, when no sign-in waits.
    virtual bool deliverCallback(const QUrl& url) = 0;
    // The user's cancellation of the waiting sign-in; nothing when none waits.
    virtual void cancel() = 0;
};

} // namespace tessaron
