#pragma once

#include "screens/guide/guide_text.hpp"

#include <QImage>
#include <QScrollArea>
#include <QUrl>

namespace tessaron {

class TessaronLinkFailureNote;
class Workspace;

// A guide picture from the resources, by its file name; a null image when there is none.
QImage guideImage(const QString& fileName);

// The in-app user manual: the guide's blocks as a scrolling page, and a button to its web edition.
class TessaronGuideView final : public QScrollArea {
    Q_OBJECT
public:
    TessaronGuideView(QList<TessaronGuideBlock> blocks, Workspace& workspace, QWidget* parent = nullptr);

    // A paragraph's or list item's inline Markdown (emphasis, strong, code, links, autolinks, escapes) as
    // rich text for a label, with bare URLs linked and line feeds kept. Block syntax does not apply.
    static QString linkified(const QString& text);
    // The guide's web edition.
    static const QUrl& guideWebURL();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Links open in the browser; when none can, the foot of the page says so.
    void openLink(const QUrl& url);
    void placeFailure();
    QWidget* makeBlock(const TessaronGuideBlock& block, QWidget* parent);
    QWidget* makeList(const QStringList& items, bool numbered, QWidget* parent);
    QWidget* makeImage(const TessaronGuideBlock& block, QWidget* parent);

    Workspace& workspace_;
    TessaronLinkFailureNote* failure_;
};

} // namespace tessaron
