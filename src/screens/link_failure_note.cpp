#include "screens/link_failure_note.hpp"

#include "platform/url_opener.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/string_table.hpp"
#include "widgets/tessaron_theme.hpp"

namespace tessaron {

TessaronLinkFailureNote::TessaronLinkFailureNote(QWidget* parent)
    : QLabel(parent) {
    setObjectName(QStringLiteral("tessaron.linkFailure"));
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setFont(TessaronTheme::captionFont());
    // The address can be copied into a browser installed later.
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, TessaronTheme::danger());
    setPalette(palette);
    setAccessibleTraits(this, {.animated = true});
    hide();
    connect(&UrlOpener::shared(), &UrlOpener::failed, this, [this](const QUrl& url) {
        if (url == watched_)
            sayNotOpened(url);
    });
}

void TessaronLinkFailureNote::sayNotOpened(const QUrl& url) {
    setText(text(url));
    setAccessibleName(QLabel::text());
    show();
    Q_EMIT shown();
}

void TessaronLinkFailureNote::watch(const QUrl& url) {
    watched_ = url;
    hide();
}

QString TessaronLinkFailureNote::text(const QUrl& url) {
    return uiText("No web browser could open %1.").arg(url.toString());
}

} // namespace tessaron
