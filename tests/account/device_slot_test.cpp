#include "account/device_slot.hpp"

#include "account_test_support.hpp"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace tessaron;

namespace {

using Slot = TessaronDeviceSlot;
using Taken = TessaronDeviceSlotError::Taken;
using Locked = TessaronDeviceSlotError::Locked;

std::optional<QJsonObject> body(const char* json) {
    if (!json)
        return std::nullopt;
    return QJsonDocument::fromJson(json).object();
}

const QDateTime swapAt(QDate(2026, 3, 5), QTime(14, 30), Qt::UTC);

} // namespace

TEST(DeviceSlotErrorTest, ReadsOnlyConflictRepliesOf409) {
    const std::tuple<int, const char*, std::optional<TessaronDeviceSlotError>> cases[] = {
        {409, R"({"error":"device_slot_taken","slot":"computer","deviceName":"  Ann's laptop\n"})",
         Taken{Slot::computer, "Ann's laptop"}},
        {409, R"({"error":"device_slot_taken","slot":"phone","deviceName":7})", Taken{Slot::phone, {}}},
        {409, R"({"error":"device_slot_taken"})", Taken{Slot::phone, {}}},
        {409, R"({"error":"device_slot_locked","slot":"tablet"})", Locked{Slot::phone, {}}},
        {409, R"({"error":"device_slot_locked","slot":"computer","nextSwapAt":"2026-03-05T14:30:00Z"})",
         Locked{Slot::computer, swapAt}},
        {409, R"({"error":"device_slot_locked","slot":"computer","nextSwapAt":"2026-03-05"})",
         Locked{Slot::computer, {}}},
        {409, R"({"error":"device_slot_locked","slot":"COMPUTER","nextSwapAt":1772721000})",
         Locked{Slot::phone, {}}},
        {403, R"({"error":"device_slot_taken","slot":"computer"})", std::nullopt},
        {409, R"({"error":"device_limit","slot":"computer"})", std::nullopt},
        {409, R"({"error":"Device_Slot_Taken"})", std::nullopt},
        {409, nullptr, std::nullopt},
    };
    for (const auto& [status, json, expected] : cases)
        EXPECT_EQ(TessaronDeviceSlotError::fromReply(status, body(json)), expected)
            << status << ' ' << (json ? json : "no object");
}

TEST(DeviceSlotErrorTest, CooldownTextNamesTheSlotAndTheDateInTheUsersLocale) {
    const auto utcZone = QTimeZone("UTC");
    const QString mac = "Tessaron is set up on another Mac. You can switch devices once every 30 days.";
    const QString phone =
        "Tessaron is set up on another iPhone or iPad. You can switch devices once every 30 days.";
    const auto american =
        TessaronDeviceSlotError::cooldownText(Slot::computer, swapAt, QLocale("en_US"), utcZone);
    EXPECT_TRUE(american.startsWith(mac + " Next switch: ")) << american.toStdString();
    EXPECT_TRUE(american.contains("Mar 5, 2026")) << american.toStdString();
    EXPECT_TRUE(american.contains("2:30")) << american.toStdString();

    const auto german = TessaronDeviceSlotError::cooldownText(Slot::phone, swapAt, QLocale("de_DE"),
                                                              QTimeZone("Europe/Berlin"));
    EXPECT_TRUE(german.startsWith(phone + " Next switch: ")) << german.toStdString();
    EXPECT_TRUE(german.contains("05.03.2026")) << german.toStdString();
    EXPECT_TRUE(german.contains("15:30")) << german.toStdString();
}
