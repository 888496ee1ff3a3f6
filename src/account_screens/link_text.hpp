#pragma once

#include <QPlainTextEdit>

namespace tessaron {

// A link shown whole and selectable: links carry no spaces, so it breaks anywhere, and it grows to the
// lines it needs, up to a limit, rather than being cut to one.
class TessaronLinkText final : public QPlainTextEdit {
    Q_OBJECT
public:
    TessaronLinkText(const QFont& font, const QColor& color, int maximumLines, QWidget* parent = nullptr);
    // An e-mail address: broken after a hyphen where it may and anywhere where it must, so a long one wraps
    // inside its column and never widens or scrolls it sideways. Readers hear the address as its name; Tab
    // passes it by, a click selects in it.
    static TessaronLinkText* address(const QFont& font, const QColor& color, QWidget* parent = nullptr);

    void setLink(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitHeight();

    int maximumLines_;
};

} // namespace tessaron
