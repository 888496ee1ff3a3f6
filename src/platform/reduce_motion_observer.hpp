#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>

#include <optional>

namespace tessaron {

// Whether the user asked the desktop for less motion: the desktop portal's setting
// org.gnome.desktop.interface enable-animations, turned off. Without a portal it stays false.
class ReduceMotionObserver final : public QObject {
    Q_OBJECT
public:
    explicit ReduceMotionObserver(QDBusConnection sessionBus, QObject* parent = nullptr);

    bool reduceMotion() const { return reduceMotion_; }
    // The portal wraps a setting's value in as many variants as it likes; none for anything but a Boolean.
    static std::optional<bool> animationsEnabled(const QVariant& value);

Q_SIGNALS:
    void reduceMotionChanged(bool reduceMotion);

private Q_SLOTS:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void read();
    void assign(const QVariant& value);

    QDBusConnection bus_;
    bool reduceMotion_ = false;
};

} // namespace tessaron
