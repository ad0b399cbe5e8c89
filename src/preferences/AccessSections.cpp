#include "PreferenceColors.h"
#include "PreferenceControls.h"
#include "PreferencesSections.h"
#include "capture/CalendarRevealTarget.h"
#include "capture/ContactRevealTarget.h"
#include "services/PreferencesStore.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <QCoroTask>

namespace morvane {

namespace {

const QString requestingText = QStringLiteral("Requesting...");

// The texts and store members one access card works with.
struct AccessCard {
    QString title;
    QString requestTitle;
    QString pickerLabel;
    QStringList targets; // in the reveal target's declared order
    QString help;
    QString accessMessage;
    QString grantedText;
    QString (PreferencesStore::*status)() const;
    void (PreferencesStore::*statusChanged)();
    void (PreferencesStore::*refresh)();
    QCoro::Task<void> (PreferencesStore::*request)();
    int (*currentTarget)(const PreferencesStore&);
    void (*setTarget)(PreferencesStore&, int);
    void (PreferencesStore::*targetChanged)();
    // The target with no version for this desktop: a stored choice of it stays and shows, but it is
    // not offered.
    int unavailableTarget = -1;
};

// The status row shows "Requesting..." from a press of the request button until the request ends.
QCoro::Task<> runRequest(PreferencesStore& store, QCoro::Task<void> (PreferencesStore::*request)(),
                         QPointer<QLabel> status, std::function<void()> show)
{
    try {
        co_await (store.*request)();
    } catch (...) {
        // The request reports its outcome as the status text; nothing else can come of it.
    }
    if (status)
        show();
}

QWidget* accessGroup(SectionContext& context, const AccessCard& card)
{
    PreferencesStore& store = context.preferences;
    auto* group = new PreferenceGroup(context.theme, card.title, PreferenceColors::primary);

    auto* status = new QLabel;
    status->setTextFormat(Qt::PlainText);
    group->content()->addWidget(labelledRow(QStringLiteral("Status"), status));
    auto pending = std::make_shared<int>(0);
    const auto show = [&context, &store, status, card, pending] {
        const QString text = *pending > 0 ? requestingText : (store.*card.status)();
        status->setText(text);
        context.theme.ink(status, accessStatusColor(text, card.grantedText));
    };
    show();
    QObject::connect(&store, card.statusChanged, status, show);

    auto* buttons = new QHBoxLayout;
    auto* request = new QPushButton(card.requestTitle);
    auto* refresh = new QPushButton(QStringLiteral("Refresh"));
    buttons->addWidget(request);
    buttons->addWidget(refresh);
    buttons->addStretch(1);
    group->content()->addLayout(buttons);
    QObject::connect(request, &QPushButton::clicked, status, [&store, status, card, pending, show] {
        ++*pending;
        show();
        runRequest(store, card.request, status, [pending, show] {
            --*pending;
            show();
        });
    });
    QObject::connect(refresh, &QPushButton::clicked, status, [&store, card] { (store.*card.refresh)(); });

    group->content()->addWidget(new QLabel(card.pickerLabel));
    auto* choices = new QButtonGroup(group);
    auto* radios = new QHBoxLayout;
    for (int index = 0; index < card.targets.size(); ++index) {
        auto* radio = new QRadioButton(card.targets[index]);
        if (index == card.unavailableTarget) {
            radio->setText(card.targets[index] + QStringLiteral(" (not available on Linux)"));
            radio->setEnabled(false);
        }
        choices->addButton(radio, index);
        radios->addWidget(radio);
    }
    radios->addStretch(1);
    group->content()->addLayout(radios);
    const auto showTarget = [&store, choices, card] {
        const QSignalBlocker blocker(choices);
        choices->button(card.currentTarget(store))->setChecked(true);
    };
    showTarget();
    QObject::connect(choices, &QButtonGroup::idClicked, group,
                     [&store, card](int id) { card.setTarget(store, id); });
    QObject::connect(&store, card.targetChanged, group, showTarget);

    group->content()->addWidget(new PreferenceMessage(context.theme, card.help));
    group->content()->addWidget(new PreferenceMessage(context.theme, card.accessMessage));
    return group;
}

} // namespace

QWidget* makeCalendarAccessGroup(SectionContext& context)
{
    return accessGroup(
        context,
        {
            QStringLiteral("Calendar Access"),
            QStringLiteral("Request Calendar Access"),
            QStringLiteral("Open calendar events in"),
            {QStringLiteral("Automatic"), QStringLiteral("Fantastical"),
             QStringLiteral("Calendar application")},
            QStringLiteral("Events saved as morvane-calendar links open in your calendar application "
                           "(GNOME Calendar, else Evolution). Fantastical has no Linux version, so "
                           "Automatic always uses the calendar application."),
            QStringLiteral("Morvane reads events from the desktop's calendar service (Evolution Data "
                           "Server), which GNOME Calendar and Evolution keep. Without it, access stays "
                           "restricted."),
            QStringLiteral("Full access"),
            &PreferencesStore::calendarAccessStatus,
            &PreferencesStore::calendarAccessStatusChanged,
            &PreferencesStore::refreshCalendarAccessStatus,
            &PreferencesStore::requestCalendarAccess,
            [](const PreferencesStore& store) { return static_cast<int>(store.calendarRevealTarget()); },
            [](PreferencesStore& store, int id) {
                store.setCalendarRevealTarget(static_cast<CalendarRevealTarget>(id));
            },
            &PreferencesStore::calendarRevealTargetChanged,
            static_cast<int>(CalendarRevealTarget::fantastical),
        });
}

QWidget* makeContactAccessGroup(SectionContext& context)
{
    return accessGroup(
        context,
        {
            QStringLiteral("Contacts Access"),
            QStringLiteral("Request Contacts Access"),
            QStringLiteral("Open contacts in"),
            {QStringLiteral("Automatic"), QStringLiteral("Cardhop"), QStringLiteral("Contacts application")},
            QStringLiteral("Cards open in your contacts application (GNOME Contacts, else Evolution). "
                           "Morvane stores the address book's identifier so links point back to a specific "
                           "contact card. Cardhop has no Linux version, so Automatic always uses the "
                           "contacts application."),
            QStringLiteral("Morvane searches contacts in the desktop's address book service (Evolution "
                           "Data Server), which GNOME Contacts and Evolution keep. Without it, access "
                           "stays restricted."),
            QStringLiteral("Authorized"),
            &PreferencesStore::contactAccessStatus,
            &PreferencesStore::contactAccessStatusChanged,
            &PreferencesStore::refreshContactAccessStatus,
            &PreferencesStore::requestContactAccess,
            [](const PreferencesStore& store) { return static_cast<int>(store.contactRevealTarget()); },
            [](PreferencesStore& store, int id) {
                store.setContactRevealTarget(static_cast<ContactRevealTarget>(id));
            },
            &PreferencesStore::contactRevealTargetChanged,
            static_cast<int>(ContactRevealTarget::cardhop),
        });
}

} // namespace morvane
