#pragma once

#include <QWidget>

namespace tessaron {

// The home view's place for update news. It has nothing to show: it draws nothing and takes no space.
class TessaronUpdateCard final : public QWidget {
    Q_OBJECT
public:
    explicit TessaronUpdateCard(QWidget* parent = nullptr);
};

} // namespace tessaron
