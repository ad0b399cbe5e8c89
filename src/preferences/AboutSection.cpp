#include "DesktopShortcutTexts.h"
#include "PreferenceColors.h"
#include "PreferenceControls.h"
#include "PreferencesSections.h"
#include "capture/AccessibilityPermission.h"
#include "desktop/Branding.h"
#include "desktop/Glyphs.h"
#include "desktop/TextStyle.h"
#include "foundation/Paths.h"
#include "platform/AccessibilityApi.h"
#include "platform/AlertPresenter.h"
#include "platform/DesktopServices.h"
#include "platform/DesktopSession.h"
#include "platform/GlobalShortcutsPortal.h"
#include "services/HotkeySettings.h"
#include "services/PrivacyAccess.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace morvane {

namespace {

using namespace PreferenceColors;

const QString supportAddress = QStringLiteral("mailto:support@morvane.app");
const QString privacyPolicyAddress = QStringLiteral("https://morvane.app/privacy");

QLabel* captionLabel(const QString& text, bool semibold)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(semibold ? systemFont(10, QFont::DemiBold) : textFont(TextStyle::caption));
    return label;
}

// A glyph in a 20-point column beside a title and a wrapping detail: the Start Here and privacy rows.
QWidget* factRow(PreferencesTheme& theme, Glyph glyph, const AppearanceColor& glyphColor,
                 const QString& title, QLabel* detail)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(new GlyphView(theme, glyph, glyphColor, 20), 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(captionLabel(title, true));
    theme.ink(detail, secondary);
    texts->addWidget(detail);
    layout->addLayout(texts, 1);
    return row;
}

QWidget* factRow(PreferencesTheme& theme, Glyph glyph, const AppearanceColor& glyphColor,
                 const QString& title, const QString& detail)
{
    return factRow(theme, glyph, glyphColor, title, captionLabel(detail, false));
}

QString joinedParagraphs(const QStringList& paragraphs)
{
    return paragraphs.join(QStringLiteral("\n\n"));
}

void showPrivacyDetails(AlertPresenter& alerts)
{
    alerts.present(
        {Alert::Style::informational,
         QStringLiteral("Morvane Privacy Details"),
         joinedParagraphs({
             QStringLiteral("Morvane stores the metadata needed to make contextual links work: titles, "
                            "locators, notes, tags, relations, timestamps, file fingerprints, and local "
                            "file identity evidence. The local library is stored in your data folder."),
             QStringLiteral("Removing the app may not remove this local database. Use Settings → "
                            "Advanced → Erase All Morvane Data when you want Morvane data removed from "
                            "inside the app."),
             QStringLiteral("Sync is off by default. When enabled, Morvane syncs private metadata through "
                            "a shared record folder that a file-sync program of your choice carries to "
                            "your other computers. Complete file contents are not synced."),
             QStringLiteral("Morvane does not use a Morvane account, advertising, in-app analytics, "
                            "Firebase, Google Play Services, or crash analytics. Updates come from your "
                            "system's package manager."),
             QStringLiteral("Morvane reads other applications only for app features: the desktop's "
                            "accessibility bus and the applications' own interfaces for active context "
                            "capture, and the desktop's calendar and address book for events and "
                            "contact cards."),
         }),
         {QStringLiteral("OK")}});
}

void showTermsOfUse(AlertPresenter& alerts)
{
    alerts.present(
        {Alert::Style::informational,
         QStringLiteral("Morvane Terms of Use"),
         joinedParagraphs({
             QStringLiteral(
                 "Morvane is a productivity tool for creating, opening, syncing, exporting, importing, "
                 "and visualizing contextual links on Linux."),
             QStringLiteral(
                 "Morvane is not a secure vault, legal record system, backup product, or guaranteed "
                 "archival system. It is provided as-is by an independent developer."),
             QStringLiteral(
                 "You are responsible for deciding what you save, keeping backups of important Morvane "
                 "data, and testing sync, import, erase, and migration workflows before relying on them "
                 "for important work."),
             QStringLiteral(
                 "Morvane should not be used to store secrets, credentials, private keys, or other highly "
                 "sensitive material in titles, notes, tags, or URLs."),
             QStringLiteral("Do not use Morvane to automate, access, or link to content in ways that violate "
                            "applicable laws, third-party app terms, workplace policies, or other people's "
                            "privacy."),
             QStringLiteral(
                 "External apps, URL schemes, bookmarks, file paths, sync records, desktop interfaces, "
                 "accessibility behavior, and update infrastructure can change outside Morvane's "
                 "control. Morvane may not always be able to find, open, repair, or sync every link."),
         }),
         {QStringLiteral("OK")}});
}

QPushButton* textButton(Glyph glyph, const QString& title, PreferencesTheme& theme)
{
    return new PreferenceButton(glyphIcon(glyph, theme.color(primary)), title);
}

QWidget* header(PreferencesTheme& theme)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(20);
    layout->addWidget(new AppIconView(96));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    auto* name = new QLabel(appDisplayName());
    name->setFont(systemFont(22, QFont::DemiBold));
    texts->addWidget(name);
    auto* version = new QLabel(appVersionText());
    auto* tagline = new QLabel(QStringLiteral("Contextual links for files, URLs, mail, notes, and more."));
    tagline->setWordWrap(true);
    for (QLabel* label : {version, tagline}) {
        label->setFont(systemFont(12));
        theme.ink(label, secondary);
    }
    texts->addWidget(version);
    texts->addWidget(tagline);
    layout->addLayout(texts, 1);
    return row;
}

QWidget* startHereGroup(SectionContext& context)
{
    HotkeySettings& store = context.hotkeys;
    auto* group = new PreferenceGroup(context.theme, QStringLiteral("Start Here"), primary);
    auto* openDetail = captionLabel({}, false);
    auto* graphDetail = captionLabel({}, false);
    GlobalShortcutsPortal* portal = context.shortcutsPortal;
    const auto show = [&store, portal, openDetail, graphDetail] {
        openDetail->setText(
            shortcutInvitation(portal, PortalShortcutId::quickPanel, QStringLiteral("Morvane"),
                               store.quickPanelHotkey().shortcutText(),
                               QStringLiteral("morvane --quick-panel")) +
            QStringLiteral(", then type to search or add the current file manager, browser, mail, note, "
                           "calendar, or contact context."));
        graphDetail->setText(shortcutInvitation(portal, PortalShortcutId::graph, QStringLiteral("Graph"),
                                                store.graphHotkey().shortcutText(),
                                                QStringLiteral("morvane --graph")) +
                             QStringLiteral(" to open the relation graph for the current context."));
    };
    show();
    QObject::connect(&store, &HotkeySettings::hotkeysChanged, group, show);
    if (portal) {
        QObject::connect(portal, &GlobalShortcutsPortal::stateChanged, group, show);
        QObject::connect(portal, &GlobalShortcutsPortal::triggerDescriptionsChanged, group, show);
    }
    PreferencesTheme& theme = context.theme;
    group->content()->addWidget(
        factRow(theme, Glyph::chainLink, accent, QStringLiteral("Open Morvane"), openDetail));
    group->content()->addWidget(
        factRow(theme, Glyph::returnKey, accent, QStringLiteral("Add or Open"),
                QStringLiteral("Press Return on the highlighted row. New active contexts "
                               "are saved first; saved rows open their target.")));
    group->content()->addWidget(
        factRow(theme, Glyph::linkPlus, accent, QStringLiteral("Create Context"),
                QStringLiteral("After saving an item, choose another saved item to create "
                               "a relation. Backlinks appear in Morvane and the graph.")));
    group->content()->addWidget(
        factRow(theme, Glyph::connectedPoints, accent, QStringLiteral("See the Graph"), graphDetail));
    group->content()->addWidget(
        factRow(theme, Glyph::archiveBox, accent, QStringLiteral("Keep a Backup"),
                QStringLiteral("Use Advanced → Export Library to create an explicit JSON "
                               "backup before larger sync or cleanup work.")));
    return group;
}

QWidget* privacyGroup(SectionContext& context)
{
    PreferencesTheme& theme = context.theme;
    auto* group = new PreferenceGroup(theme, QStringLiteral("Privacy & Data"), primary);
    const struct {
        Glyph glyph;
        const char* title;
        const char* detail;
    } facts[] = {
        {Glyph::archiveBox, "Local by Default",
         "Morvane stores its SQLite database in your user data folder."},
        {Glyph::reload, "Opt-in Sync",
         "Sync is disabled until you enable it. Synced records live in a record folder on this "
         "computer that you may share with your other computers."},
        {Glyph::document, "No File Contents in Sync",
         "File contents are not uploaded. Morvane syncs metadata such as title, locator, tags, relations, "
         "file "
         "size, and content fingerprint."},
        {Glyph::openInApp, "Explicit Backups",
         "Backups are JSON files you choose to export. Morvane does not silently upload exports."},
        {Glyph::globe, "No Morvane Server",
         "There is no Morvane account service or analytics endpoint in this app."},
    };
    for (const auto& fact : facts)
        group->content()->addWidget(factRow(theme, fact.glyph, secondary, QString::fromUtf8(fact.title),
                                            QString::fromUtf8(fact.detail)));

    auto* details = textButton(Glyph::info, QStringLiteral("Morvane Privacy Details…"), theme);
    auto* terms = textButton(Glyph::document, QStringLiteral("Terms of Use…"), theme);
    auto* support = textButton(Glyph::envelope, QStringLiteral("Contact Support"), theme);
    auto* policy = textButton(Glyph::globe, QStringLiteral("Open Privacy Policy"), theme);
    // Two rows: the four do not fit the card's width side by side.
    for (const auto& pair : {std::pair{details, terms}, std::pair{support, policy}}) {
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(pair.first);
        buttons->addWidget(pair.second);
        buttons->addStretch(1);
        group->content()->addLayout(buttons);
    }
    QObject::connect(details, &QPushButton::clicked, group,
                     [&context] { showPrivacyDetails(context.alerts); });
    QObject::connect(terms, &QPushButton::clicked, group, [&context] { showTermsOfUse(context.alerts); });
    const auto open = [&context](const QString& url) {
        if (context.desktop)
            context.desktop->openUrl(url);
    };
    QObject::connect(support, &QPushButton::clicked, group, [open] { open(supportAddress); });
    QObject::connect(policy, &QPushButton::clicked, group, [open] { open(privacyPolicyAddress); });
    return group;
}

// The trust to read other applications' windows, in words and ink; this desktop may have no such thing.
std::pair<QString, AppearanceColor> accessibilityState(const AccessibilitySession* accessibility)
{
    const AccessibilityTrust trust =
        accessibility ? accessibility->trust() : AccessibilityTrust::notAvailable;
    switch (trust) {
    case AccessibilityTrust::granted:
        return {QStringLiteral("Enabled"), green};
    case AccessibilityTrust::notGranted:
        return {QStringLiteral("Not enabled"), orange};
    case AccessibilityTrust::notAvailable:
        break;
    }
    return {QStringLiteral("Not available on this desktop"), secondary};
}

QWidget* permissionRow(PreferencesTheme& theme, Glyph glyph, const QString& title, QLabel* status,
                       const QString& detail, QWidget* action = nullptr)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(new GlyphView(theme, glyph, secondary, 20), 0, Qt::AlignTop);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(4);
    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(8);
    titleLine->addWidget(captionLabel(title, true));
    status->setFont(textFont(TextStyle::caption));
    status->setTextFormat(Qt::PlainText);
    titleLine->addWidget(status);
    titleLine->addStretch(1);
    if (action)
        titleLine->addWidget(action);
    lines->addLayout(titleLine);
    auto* detailLabel = captionLabel(detail, false);
    theme.ink(detailLabel, secondary);
    lines->addWidget(detailLabel);
    layout->addLayout(lines, 1);
    return row;
}

QWidget* permissionsGroup(SectionContext& context)
{
    PrivacyAccess& store = context.access;
    PreferencesTheme& theme = context.theme;
    auto* group = new PreferenceGroup(theme, QStringLiteral("Permissions"), primary);

    // Scripting other applications is not something this desktop offers: the row says what each
    // capture reads instead, none of which asks for a permission of its own.
    auto* automation = new QLabel(QStringLiteral("Not used on this desktop"));
    theme.ink(automation, secondary);
    group->content()->addWidget(permissionRow(
        theme, Glyph::app, QStringLiteral("Automation"), automation,
        QStringLiteral("Nothing is scripted. Browsers, file managers, Thunderbird, Evince and Atril are read "
                       "over the accessibility bus (below); Nautilus, Zathura, Okular and qpdfview also over "
                       "D-Bus; calendar events and contacts come from Evolution Data Server; Obsidian's "
                       "active note from Obsidian's own files.")));

    auto* calendar = new QLabel;
    group->content()->addWidget(
        permissionRow(theme, Glyph::calendar, QStringLiteral("Calendar"), calendar,
                      QStringLiteral("Used to search and link calendar events. Manage access in General → "
                                     "Calendar Access.")));
    auto* contacts = new QLabel;
    group->content()->addWidget(permissionRow(
        theme, Glyph::person, QStringLiteral("Contacts"), contacts,
        QStringLiteral("Used to search and link contact cards. Manage access in General → Contacts "
                       "Access.")));

    auto* accessibility = new QLabel;
    auto* openSettings = textButton(Glyph::gear, QStringLiteral("Turn On…"), theme);
    // The X display of a Wayland session shows only the X11 windows; native ones are known from the bus.
    QString accessibilityUse = QStringLiteral("Used to read the page, message or file in the window in "
                                              "front, over the desktop's accessibility bus.");
    if (isWaylandSession())
        accessibilityUse +=
            QStringLiteral(" On this Wayland desktop it also tells which native Wayland window "
                           "is in front: while it is off, those windows are not available to "
                           "Morvane and nothing is captured from them.");
    group->content()->addWidget(permissionRow(theme, Glyph::app, QStringLiteral("Accessibility"),
                                              accessibility, accessibilityUse, openSettings));

    const auto show = [&context, &store, calendar, contacts, accessibility, openSettings] {
        calendar->setText(store.calendarAccessStatus());
        context.theme.ink(calendar,
                          accessStatusColor(store.calendarAccessStatus(), QStringLiteral("Full access")));
        contacts->setText(store.contactAccessStatus());
        context.theme.ink(contacts,
                          accessStatusColor(store.contactAccessStatus(), QStringLiteral("Authorized")));
        const auto [text, color] = accessibilityState(context.accessibility);
        accessibility->setText(text);
        context.theme.ink(accessibility, color);
        // Offered only while the bus is off: on, there is nothing to do, and absent, nothing to turn on.
        openSettings->setVisible(context.accessibility &&
                                 context.accessibility->trust() == AccessibilityTrust::notGranted);
    };
    show();
    if (context.accessibility)
        QObject::connect(context.accessibility, &AccessibilitySession::trustChanged, group, show);
    QObject::connect(&store, &PrivacyAccess::calendarAccessStatusChanged, group, show);
    QObject::connect(&store, &PrivacyAccess::contactAccessStatusChanged, group, show);
    QObject::connect(openSettings, &QPushButton::clicked, group, [&context] {
        if (context.accessibility)
            AccessibilityPermission(*context.accessibility, context.alerts).promptIfNeeded();
    });
    return group;
}

} // namespace

QWidget* makeAboutSection(SectionContext& context)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(18);
    layout->addWidget(header(context.theme));

    auto* version = new PreferenceGroup(context.theme, QStringLiteral("Version"), primary);
    auto* build = new QLabel(appVersionText());
    context.theme.ink(build, secondary);
    version->content()->addWidget(labelledRow(QStringLiteral("Build"), build));
    version->content()->addWidget(new PreferenceMessage(
        context.theme, QStringLiteral("Native Linux contextual links. Sync is opt-in and prepared for ") +
                           dataDirectory() + QStringLiteral("/CloudRecords.")));
    layout->addWidget(version);
    layout->addWidget(startHereGroup(context));
    layout->addWidget(privacyGroup(context));
    layout->addWidget(permissionsGroup(context));
    return page;
}

} // namespace morvane
