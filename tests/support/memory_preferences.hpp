#pragma once

#include "platform/preferences.hpp"

#include <QMap>

namespace tessaron::testing {

class MemoryPreferences final : public Preferences {
public:
    QVariant value(const QString& key) const override { return values_.value(key); }
    void remove(const QString& key) override { values_.remove(key); }
    QStringList keys() const override { return values_.keys(); }

protected:
    void store(const QString& key, const QVariant& value) override { values_.insert(key, value); }

private:
    QMap<QString, QVariant> values_;
};

} // namespace tessaron::testing
