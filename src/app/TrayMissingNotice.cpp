#include "TrayMissingNotice.h"

#include "foundation/UserDefaults.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>

namespace morvane {

TrayMissingNotice::TrayMissingNotice(std::shared_ptr<UserDefaults> defaults)
    : m_defaults(std::move(defaults))
{
}

TrayMissingNotice::~TrayMissingNotice()
{
    delete m_box.data();
}

bool TrayMissingNotice::show()
{
    const QString key = QString::fromLatin1(dismissedKey);
    if (m_box || m_defaults->boolValue(key).value_or(false))
        return false;
    m_box = new QMessageBox(QMessageBox::Information, QStringLiteral("Morvane"),
                            QStringLiteral("Morvane is running, but this desktop has no tray."));
    m_box->setTextFormat(Qt::PlainText);
    m_box->setInformativeText(QStringLiteral(
        "The tray icon shows when Morvane has links for the item in front of you, and its menu opens "
        "the quick panel, the graph, Preferences and Quit.\n\n"
        "Without a tray, these commands do the same (your desktop's keyboard settings can bind them to "
        "keys):\n"
        "    morvane --quick-panel\n"
        "    morvane --graph\n"
        "    morvane --preferences\n"
        "    morvane --quit\n\n"
        "On GNOME, the tray comes with the package\n"
        "    gnome-shell-extension-appindicator\n"
        "Install it, log out and in, and turn on “AppIndicator and KStatusNotifierItem Support” in "
        "Extensions."));
    for (QLabel* label : m_box->findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    m_box->setStandardButtons(QMessageBox::Ok);
    // Alt+D ticks it from the keyboard.
    m_box->setCheckBox(new QCheckBox(QStringLiteral("&Don’t show again")));
    m_box->setAttribute(Qt::WA_DeleteOnClose);
    m_box->setModal(false);
    const std::shared_ptr<UserDefaults> defaults = m_defaults;
    QObject::connect(m_box->checkBox(), &QCheckBox::toggled, m_box, [defaults, key](bool dismissed) {
        if (dismissed)
            defaults->setBool(key, true);
        else
            defaults->remove(key);
    });
    m_box->show();
    m_box->raise();
    m_box->activateWindow();
    return true;
}

} // namespace morvane
