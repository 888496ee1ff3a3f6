#pragma once

#include "screens/guide/guide_text.hpp"

#include <QImage>
#include <QScrollArea>

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
