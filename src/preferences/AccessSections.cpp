#include "PreferenceColors.h"
#include "PreferenceControls.h"
#include "PreferencesSections.h"
#include "capture/CalendarRevealTarget.h"
#include "capture/ContactRevealTarget.h"
#include "services/AppSettings.h"
#include "services/PrivacyAccess.h"

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

// The texts, access members and reveal-target settings one access card works with.
struct AccessCard {
    QString title;
    QString requestTitle;
    QString pickerLabel;
    QStringList targets; // in the reveal target's declared order
    QString help;
    QString accessMessage;
    QString grantedText;
    QString (PrivacyAccess::*status)() const;
    QString (PrivacyAccess::*problem)() const;
    void (PrivacyAccess::*statusChanged)();
    void (PrivacyAccess::*refresh)();
    QCoro::Task<void> (PrivacyAccess::*request)();
    int (*currentTarget)(const AppSettings&);
    void (*setTarget)(AppSettings&, int);
    void (AppSettings::*targetChanged)();
    // The target with no version for this desktop: a stored choice of it stays and shows, but it is
    // not offered.
    int unavailableTarget = -1;
};

// The status row shows "Requesting..." from a press of the request button until the request ends.
QCoro::Task<> runRequest(PrivacyAccess& store, QCoro::Task<void> (PrivacyAccess::*request)(),
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
    PrivacyAccess& store = context.access;
    AppSettings& settings = context.settings;
    auto* group = new PreferenceGroup(context.theme, card.title, PreferenceColors::primary);

    auto* status = new QLabel;
    status->setTextFormat(Qt::PlainText);
    group->content()->addWidget(labelledRow(QStringLiteral("Status"), status));
    // What of the service cannot be read, under the status it explains.
    auto* problem = new PreferenceMessage(context.theme);
    group->content()->addWidget(problem);
    auto pending = std::make_shared<int>(0);
    const auto show = [&context, &store, status, problem, card, pending] {
        const QString text = *pending > 0 ? requestingText : (store.*card.status)();
        status->setText(text);
        context.theme.ink(status, accessStatusColor(text, card.grantedText));
        const QString failure = (store.*card.problem)();
        problem->setMessage(failure.isEmpty() ? std::nullopt : std::optional(failure), MessageStyle::error);
    };
    show();
    QObject::connect(&store, card.statusChanged, status, show);

    auto* buttons = new QHBoxLayout;
    auto* request = new PreferenceButton(card.requestTitle);
    auto* refresh = new PreferenceButton(QStringLiteral("Refresh"));
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
    // One choice a line, as a radio group reads: side by side, a long choice would be cut at the
    // card's edge.
    auto* radios = new QVBoxLayout;
    for (int index = 0; index < card.targets.size(); ++index) {
        auto* radio = new QRadioButton(card.targets[index]);
        if (index == card.unavailableTarget) {
            radio->setText(card.targets[index] + QStringLiteral(" (not available on Linux)"));
            radio->setEnabled(false);
        }
        choices->addButton(radio, index);
        radios->addWidget(radio);
    }
    group->content()->addLayout(radios);
    const auto showTarget = [&settings, choices, card] {
        const QSignalBlocker blocker(choices);
        choices->button(card.currentTarget(settings))->setChecked(true);
    };
    showTarget();
    QObject::connect(choices, &QButtonGroup::idClicked, group,
                     [&settings, card](int id) { card.setTarget(settings, id); });
    QObject::connect(&settings, card.targetChanged, group, showTarget);

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
            &PrivacyAccess::calendarAccessStatus,
            &PrivacyAccess::calendarAccessProblem,
            &PrivacyAccess::calendarAccessStatusChanged,
            &PrivacyAccess::refreshCalendarAccessStatus,
            &PrivacyAccess::requestCalendarAccess,
            [](const AppSettings& store) { return static_cast<int>(store.calendarRevealTarget()); },
            [](AppSettings& store, int id) {
                store.setCalendarRevealTarget(static_cast<CalendarRevealTarget>(id));
            },
            &AppSettings::calendarRevealTargetChanged,
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
            &PrivacyAccess::contactAccessStatus,
            &PrivacyAccess::contactAccessProblem,
            &PrivacyAccess::contactAccessStatusChanged,
            &PrivacyAccess::refreshContactAccessStatus,
            &PrivacyAccess::requestContactAccess,
            [](const AppSettings& store) { return static_cast<int>(store.contactRevealTarget()); },
            [](AppSettings& store, int id) {
                store.setContactRevealTarget(static_cast<ContactRevealTarget>(id));
            },
            &AppSettings::contactRevealTargetChanged,
            static_cast<int>(ContactRevealTarget::cardhop),
        });
}

} // namespace morvane
