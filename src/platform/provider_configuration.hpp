#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <optional>
#include <variant>

namespace tessaron {

// A number object, as the system hands numbers back: a whole number kept exactly, or a fraction.
class ProviderNumber {
public:
    explicit ProviderNumber(qint64 whole)
        : value_(whole) {}
    explicit ProviderNumber(double value)
        : value_(value) {}

    bool isWhole() const { return std::holds_alternative<qint64>(value_); }
    // A fraction is cut toward zero and held to the range of qint64.
    qint64 integerValue() const;
    double doubleValue() const;

    bool operator==(const ProviderNumber&) const = default;

private:
    std::variant<qint64, double> value_;
};

// One value of a tunnel's provider configuration. Its type is kept apart from its content: a Boolean
// never reads as an integer, and the text "5" never reads as a number.
class ProviderValue {
public:
    // In the order of the alternatives of Storage.
    enum class Type { integer, number, text, boolean, data };

    static ProviderValue integer(qint64 value) {
        return ProviderValue(Storage(std::in_place_index<0>, value));
    }
    static ProviderValue number(ProviderNumber value) {
        return ProviderValue(Storage(std::in_place_index<1>, value));
    }
    static ProviderValue text(QString value) { return ProviderValue(Storage(std::in_place_index<2>, value)); }
    static ProviderValue boolean(bool value) { return ProviderValue(Storage(std::in_place_index<3>, value)); }
    static ProviderValue data(QByteArray value) {
        return ProviderValue(Storage(std::in_place_index<4>, value));
    }

    Type type() const { return static_cast<Type>(storage_.index()); }

    // Each reader answers only for a value of its own type.
    std::optional<qint64> integerValue() const { return read<0>(); }
    std::optional<ProviderNumber> numberValue() const { return read<1>(); }
    std::optional<QString> textValue() const { return read<2>(); }
    std::optional<bool> booleanValue() const { return read<3>(); }
    std::optional<QByteArray> dataValue() const { return read<4>(); }

    bool operator==(const ProviderValue&) const = default;

private:
    using Storage = std::variant<qint64, ProviderNumber, QString, bool, QByteArray>;

    explicit ProviderValue(Storage storage)
        : storage_(std::move(storage)) {}

    template <std::size_t index>
    auto read() const -> std::optional<std::variant_alternative_t<index, Storage>> {
        if (const auto* value = std::get_if<index>(&storage_))
            return *value;
        return std::nullopt;
    }

    Storage storage_;
};

using ProviderConfiguration = QMap<QString, ProviderValue>;

// The configuration as the system hands it back once it has stored it: every integer has become a number
// object, and everything else is as it was.
ProviderConfiguration asReloaded(const ProviderConfiguration& configuration);

// Each value is written as {"type": <type name>, "value": <content>}: integers and numbers as decimal text
// (a JSON number would round large integers), bytes as base64.
QJsonObject toJson(const ProviderConfiguration& configuration);
// None when any entry is malformed.
std::optional<ProviderConfiguration> providerConfigurationFromJson(const QJsonObject& object);

} // namespace tessaron
