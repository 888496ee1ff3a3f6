#pragma once

#include <QAbstractButton>

namespace tessaron {

// A wide button outlined by a thin grey rounded border, white text on the page's black; the whole
// rectangle takes clicks.
class TessaronSecondaryButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit TessaronSecondaryButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tessaron
