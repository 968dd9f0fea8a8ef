#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace tavrine {

class Defaults;

// A browser's automation permission as the capture reads it: the user's answer to whether Tavrine may
// read the page the browser shows.
inline constexpr int kAutomationAllowed = 0;
inline constexpr int kAutomationDenied = -1743;
inline constexpr int kAutomationUndecided = -1744;

// The user's answers, one per browser: kept in the settings under "reader.linux.browserConsent." followed
// by the browser's desktop id ("chromium", "google-chrome"): true allowed, false refused, absent not asked
// yet (or withdrawn, so that the next capture asks again). Chromium and Google Chrome are two browsers,
// each with its own answer; an id that is empty has none and takes none.
//
// Earlier builds kept one answer for every browser of the Chromium family, under
// "reader.linux.browserAutomation.com.google.Chrome". It is removed when the store is made: a refusal
// stays a refusal of each installed browser without an answer of its own; a consent is dropped, since
// nothing tells which browser it was given for, and each browser asks again.
//
// Main thread only (the settings are); every answer kept, changed or withdrawn is announced by changed().
class BrowserAutomationConsent final : public QObject {
    Q_OBJECT

public:
    // A browser whose pages a capture can read, as the settings list it.
    struct Browser {
        QString id;
        QString name;
        // The answer kept: none while it is not asked.
        std::optional<bool> allowed{};

        bool operator==(const Browser&) const = default;
    };
    // The browsers installed on this desktop, each with its id and name; the answers are the store's.
    using InstalledBrowsers = std::function<QList<Browser>()>;

    // `defaults` must outlive the store.
    BrowserAutomationConsent(Defaults& defaults, InstalledBrowsers installed, QObject* parent = nullptr);

    static QString key(const QString& browserId);
    static QString legacyKey();

    // kAutomationAllowed, kAutomationDenied or kAutomationUndecided (also for a value that is no Boolean).
    int permission(const QString& browserId) const;
    void setAllowed(const QString& browserId, bool allowed);
    // Forgets the answer: the next capture from the browser asks again.
    void withdraw(const QString& browserId);
    // The installed browsers with their answers, by name.
    QList<Browser> browsers() const;

signals:
    void changed();

private:
    std::optional<bool> answer(const QString& browserId) const;
    void migrateLegacyAnswer();

    Defaults& m_defaults;
    InstalledBrowsers m_installed;
};

}  // namespace tavrine
