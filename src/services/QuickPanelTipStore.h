#pragma once

#include <QString>

#include <memory>

namespace morvane {

class UserDefaults;

// Where the quick panel keeps the instruction banners the user dismissed.
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

private:
    std::shared_ptr<UserDefaults> m_defaults;
    QString m_storageKey;
};

} // namespace morvane
