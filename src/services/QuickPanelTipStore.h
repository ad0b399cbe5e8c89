#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace morvane {

class UserDefaults;

// Where the quick panel keeps the instruction banners the user dismissed: a sorted list of tip ids
// without duplicates under one key. Nothing is cached, so a dismissal (or the preferences window
// restoring every tip) counts at once everywhere that asks.
class QuickPanelTipStore {
public:
    static inline const QString standardKey = QStringLiteral("preferences.dismissedQuickPanelTips");

    explicit QuickPanelTipStore(std::shared_ptr<UserDefaults> defaults, QString storageKey = standardKey)
        : m_defaults(std::move(defaults))
        , m_storageKey(std::move(storageKey))
    {
    }

    UserDefaults& defaults() const { return *m_defaults; }
    const QString& storageKey() const { return m_storageKey; }

    // The stored ids; a missing value, or one that is not a list of texts, dismisses nothing.
    QStringList dismissedIDs() const;
    bool isDismissed(const QString& id) const;
    // Adds the id and writes the list back sorted and without duplicates (a stored value of another
    // type is replaced).
    void dismiss(const QString& id);
    // Every banner shows again when its situation comes back.
    void restoreAll();

    // The part of a tip id that names an application: trimmed, lower case, blanks made "-", then only
    // letters, digits and "-" kept; "unknown" for a blank name. Punctuation alone gives "".
    static QString tipToken(const QString& appName);

private:
    std::shared_ptr<UserDefaults> m_defaults;
    QString m_storageKey;
};

} // namespace morvane
