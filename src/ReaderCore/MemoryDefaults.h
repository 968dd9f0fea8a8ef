#pragma once

#include "ReaderCore/Defaults.h"

#include <QHash>

namespace tavrine {

// Settings held in memory only, for tests and for objects that must not touch the user's settings.
class MemoryDefaults : public Defaults {
public:
    std::optional<DefaultsValue> object(const QString& key) const override {
        const auto found = m_values.constFind(key);
        if (found == m_values.cend()) return std::nullopt;
        return *found;
    }
    void remove(const QString& key) override { m_values.remove(key); }

protected:
    void setValue(const QString& key, DefaultsValue value) override { m_values.insert(key, std::move(value)); }

private:
    QHash<QString, DefaultsValue> m_values;
};

}  // namespace tavrine
