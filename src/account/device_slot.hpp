#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QLocale>
#include <QString>
#include <QTimeZone>

#include <optional>
#include <variant>

namespace tessaron {

// The account holds one phone or tablet and one computer.
enum class TessaronDeviceSlot { phone, computer };

// The service refused to give this device a slot: another device holds it, or it moved too recently.
class TessaronDeviceSlotError {
public:
    struct Taken {
        TessaronDeviceSlot slot;
        std::optional<QString> deviceName;
        bool operator==(const Taken&) const = default;
    };
    struct Locked {
        TessaronDeviceSlot slot;
        std::optional<QDateTime> nextSwapAt;
        bool operator==(const Locked&) const = default;
    };

    TessaronDeviceSlotError(Taken taken)
        : value_(std::move(taken)) {}
    TessaronDeviceSlotError(Locked locked)
        : value_(std::move(locked)) {}

    // Reads a 409 refusal ("device_slot_taken" or "device_slot_locked"); none for any other reply. An
    // unreadable slot counts as the phone slot, an unreadable name or date as absent.
    static std::optional<TessaronDeviceSlotError> fromReply(int status,
                                                            const std::optional<QJsonObject>& body);

    // The notice for a slot that cannot move yet; with a date, when it can.
    static QString cooldownText(TessaronDeviceSlot slot, const std::optional<QDateTime>& nextSwapAt,
                                const QLocale& locale = QLocale::system(),
                                const QTimeZone& zone = QTimeZone::systemTimeZone());

    TessaronDeviceSlot slot() const;
    const Taken* taken() const { return std::get_if<Taken>(&value_); }
    const Locked* locked() const { return std::get_if<Locked>(&value_); }

    bool operator==(const TessaronDeviceSlotError&) const = default;

private:
    std::variant<Taken, Locked> value_;
};

} // namespace tessaron
