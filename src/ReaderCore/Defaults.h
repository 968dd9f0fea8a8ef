#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <variant>

namespace tavrine {

// One value of the user's settings. It keeps its type wherever it is kept: a number never reads back as
// a string, nor a string of digits as a number.
using DefaultsValue = std::variant<bool, double, QString, QByteArray>;

// The user's settings: typed values under keys such as "reader.baseSeconds". A change is visible at
// once and is kept without a separate save step. The application owns one (FileDefaults) and hands it to
// the objects that keep settings; tests use MemoryDefaults. Main thread only.
class Defaults {
public:
    virtual ~Defaults() = default;

    // The value under key, or nothing when there is none.
    virtual std::optional<DefaultsValue> object(const QString& key) const = 0;
    // The number under key: 0 when there is none or the value is not a number (a string of digits and a
    // Boolean give 0 too).
    double doubleForKey(const QString& key) const;

    void setBool(const QString& key, bool value) { setValue(key, value); }
    // Every double is kept as it is, NaN and the infinities included.
    void setDouble(const QString& key, double value) { setValue(key, value); }
    void setString(const QString& key, QString value) { setValue(key, std::move(value)); }
    void setData(const QString& key, QByteArray value) { setValue(key, std::move(value)); }
    virtual void remove(const QString& key) = 0;

    // Whether the changes are kept: false from an attempt to keep them that failed until one succeeds.
    // Meanwhile every value still holds here, and what is not kept yet is lost with the process. Settings
    // kept nowhere (MemoryDefaults) never fail.
    bool keepsChanges() const { return m_keepsChanges; }
    // Where the settings are kept, for a person to look at when they cannot be; empty when nowhere.
    virtual QString location() const { return {}; }
    // Called after each change of keepsChanges(); one observer, replaced by the next (an empty function
    // removes it). It may read the settings but not change them.
    void setKeepsChangesObserver(std::function<void()> observer) { m_keepsChangesObserver = std::move(observer); }

protected:
    // The one way in for the typed setters, so that no caller converts a value by accident.
    virtual void setValue(const QString& key, DefaultsValue value) = 0;
    void setKeepsChanges(bool keeps);

private:
    bool m_keepsChanges = true;
    std::function<void()> m_keepsChangesObserver;
};

}  // namespace tavrine
