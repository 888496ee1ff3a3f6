#pragma once

#include <QCheckBox>

class QLabel;

namespace tessaron {

// A switch of the settings form. While the session works (or a rule locks it) the switch is unavailable:
// it fades, takes no toggle and Tab passes it by. One that turns unavailable under the person's focus keeps
// the focus: handing it on would move it (and the page) away from where the person works.
class TessaronSettingsSwitch final : public QCheckBox {
    Q_OBJECT
public:
    explicit TessaronSettingsSwitch(QWidget* parent = nullptr);

    void setAvailable(bool available);
    bool isAvailable() const { return available_; }
    // A click on the row's label toggles the switch, as a click on the switch does.
    void toggleFrom(QLabel& label);

protected:
    bool hitButton(const QPoint& position) const override;
    void nextCheckState() override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool available_ = true;
};

} // namespace tessaron
