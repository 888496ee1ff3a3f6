#pragma once

#include <QLabel>
#include <QUrl>

namespace tessaron {

// The line that says a web address handed to the desktop was not opened (no browser), where the person
// who asked for it looks. It stays hidden until a failure of the address it watches arrives.
class TessaronLinkFailureNote final : public QLabel {
    Q_OBJECT
public:
    explicit TessaronLinkFailureNote(QWidget* parent = nullptr);

    // The address about to be opened from here; an earlier note goes.
    void watch(const QUrl& url);
    // Says that `url` was not opened; the opener's later failure of the watched address says it too.
    void sayNotOpened(const QUrl& url);
    static QString text(const QUrl& url);

Q_SIGNALS:
    void shown();

private:
    QUrl watched_;
};

} // namespace tessaron
