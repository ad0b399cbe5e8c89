#include "DesktopShortcutTexts.h"
#include "HotkeyRecorder.h"
#include "PreferenceColors.h"
#include "PreferenceControls.h"
#include "PreferencesSections.h"
#include "desktop/Glyphs.h"
#include "desktop/TextStyle.h"
#include "platform/DesktopSession.h"
#include "platform/GlobalShortcutsPortal.h"
#include "services/AppSettings.h"
#include "services/HotkeySettings.h"
#include "services/SyncScheduler.h"
#include "sync/FolderRecordStore.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace morvane {

using PreferenceColors::primary;

namespace {

// What a Wayland desktop does with the shortcuts: its shortcuts portal holds them under keys the
// user may have changed there, or, without one, they fire only while an X11 window has the keyboard.
std::optional<QString> desktopShortcutsNote(const GlobalShortcutsPortal* portal)
{
    if (!isWaylandSession())
        return std::nullopt;
    if (!portal || portal->state() == GlobalShortcutsPortal::State::unavailable)
        return QStringLiteral("On this Wayland desktop these shortcuts work only while a window of an X11 "
                              "application has the keyboard. To open Morvane from anywhere, bind keys in "
                              "%1 to the commands “morvane --quick-panel” and “morvane --graph”.")
            .arg(desktopCommandSettings());
    const QMap<QString, QString> triggers = portal->triggerDescriptions();
    if (triggers.isEmpty())
        return std::nullopt;
    const auto keys = [&triggers](const QString& id) {
        const QString text = triggers.value(id);
        return text.isEmpty() ? QStringLiteral("no keys") : QStringLiteral("“%1”").arg(text);
    };
    return QStringLiteral("Your desktop holds these shortcuts: Morvane %1, Graph %2. The desktop keeps "
                          "its own keys once it has them; change them in %3.")
        .arg(keys(PortalShortcutId::quickPanel), keys(PortalShortcutId::graph), desktopShortcutSettings());
}

// Whether the desktop's text names the same keys as ours: KDE writes "Meta+Ctrl+K" for "Ctrl+Super+K".
bool sameKeys(const QString& desktopKeys, const QString& ours)
{
    const auto keys = [](const QString& text) {
        QStringList names = text.toLower().split(u'+', Qt::SkipEmptyParts);
        for (QString& name : names) {
            if (name == QStringLiteral("meta"))
                name = QStringLiteral("super");
        }
        names.sort();
        return names;
    };
    return keys(desktopKeys) == keys(ours);
}

// Says when the desktop kept its own keys for a shortcut just recorded. The recorded shortcut is
// stored and handed to the desktop, which answers with the keys it gives the new set: the same keys
// as before mean it kept its own, and the recorded one then works only through the X11 grab, while
// an X11 window has the keyboard. The notice lasts until the next recording or until the desktop's
// keys for that shortcut change.
class KeptKeysNotice : public QObject {
public:
    KeptKeysNotice(GlobalShortcutsPortal& portal, PreferenceMessage& message, QObject* parent)
        : QObject(parent)
        , m_portal(portal)
        , m_message(message)
    {
        connect(&portal, &GlobalShortcutsPortal::shortcutsBound, this, &KeptKeysNotice::desktopAnswered);
        connect(&portal, &GlobalShortcutsPortal::triggerDescriptionsChanged, this,
                &KeptKeysNotice::keysChanged);
        connect(&portal, &GlobalShortcutsPortal::stateChanged, this, &KeptKeysNotice::keysChanged);
    }

    // A recorded shortcut was stored for the shortcut with that id; it reaches the desktop on a later
    // turn of the event loop, so what the desktop holds now is what it held before.
    void recorded(const QString& id, const QString& label, const GlobalHotkeyBinding& binding)
    {
        if (const std::optional<QString> held = m_portal.heldKeysText(id))
            m_asked.insert(id, {label, *held, binding.shortcutText()});
    }
    void recordingStarted()
    {
        m_asked.clear();
        m_kept.clear();
        show();
    }

private:
    struct Recorded {
        QString label;
        QString desktopKeys; // what the desktop held the shortcut under when it was recorded
        QString recorded;
    };

    void desktopAnswered()
    {
        for (auto asked = m_asked.cbegin(); asked != m_asked.cend(); ++asked) {
            if (m_portal.heldKeysText(asked.key()) == asked->desktopKeys &&
                !sameKeys(asked->desktopKeys, asked->recorded))
                m_kept.insert(asked.key(), *asked);
        }
        m_asked.clear();
        show();
    }
    void keysChanged()
    {
        m_kept.removeIf([this](const QMap<QString, Recorded>::iterator& kept) {
            return m_portal.heldKeysText(kept.key()) != kept->desktopKeys;
        });
        show();
    }
    void show()
    {
        QStringList lines;
        for (const Recorded& kept : std::as_const(m_kept))
            lines.append(
                QStringLiteral("Your desktop kept “%1” for %2: “%3” opens it only while a window of "
                               "an X11 application has the keyboard. Change the desktop's key in %4.")
                    .arg(kept.desktopKeys, kept.label, kept.recorded, desktopShortcutSettings()));
        m_message.setMessage(lines.isEmpty() ? std::nullopt : std::optional(lines.join(u'\n')),
                             MessageStyle::warning);
    }

    GlobalShortcutsPortal& m_portal;
    PreferenceMessage& m_message;
    QMap<QString, Recorded> m_asked;
    QMap<QString, Recorded> m_kept;
};

} // namespace

QWidget* makeKeyboardSection(SectionContext& context)
{
    HotkeySettings& store = context.hotkeys;
    GlobalShortcutsPortal* portal = context.shortcutsPortal;
    auto* group = new PreferenceGroup(context.theme, QStringLiteral("Global Shortcuts"), primary);
    auto* keptNote = new PreferenceMessage(context.theme);
    auto* kept = portal ? new KeptKeysNotice(*portal, *keptNote, group) : nullptr;
    const auto commit = [&store, kept](const QString& id, const QString& label, bool forGraph) {
        return [&store, kept, id, label, forGraph](const GlobalHotkeyBinding& binding) {
            const bool stored = store.setHotkey(binding, forGraph);
            if (stored && kept)
                kept->recorded(id, label, binding);
            return stored;
        };
    };
    auto* quickPanel =
        new HotkeyRecorderField(context.theme, QStringLiteral("Morvane"),
                                commit(PortalShortcutId::quickPanel, QStringLiteral("Morvane"), false));
    auto* graph = new HotkeyRecorderField(context.theme, QStringLiteral("Graph"),
                                          commit(PortalShortcutId::graph, QStringLiteral("Graph"), true));
    // The count lives in the settings model, so two recorders listening at once suspend the
    // registered shortcuts once and give them back when the last one stops.
    for (HotkeyRecorderField* field : {quickPanel, graph}) {
        QObject::connect(field, &HotkeyRecorderField::recordingSuspendedChanged, &store,
                         &HotkeySettings::setHotkeyRecordingSuspended);
        if (kept)
            QObject::connect(field, &HotkeyRecorderField::recordingSuspendedChanged, kept,
                             [kept](bool started) {
                                 if (started)
                                     kept->recordingStarted();
                             });
    }
    group->content()->addWidget(quickPanel);
    group->content()->addWidget(graph);

    auto* conflict = new PreferenceMessage(context.theme);
    group->content()->addWidget(conflict);
    group->content()->addWidget(keptNote);
    auto* desktopNote = new PreferenceMessage(context.theme);
    group->content()->addWidget(desktopNote);
    group->content()->addWidget(new PreferenceMessage(
        context.theme,
        QStringLiteral(
            "Click a field, press your shortcut (include Ctrl, Alt, Shift, or Super), then release. "
            "Re-typing the current shortcut is fine. Using the other action’s shortcut "
            "swaps them. Esc cancels.")));

    const auto show = [&store, quickPanel, graph, conflict] {
        quickPanel->setBinding(store.quickPanelHotkey());
        graph->setBinding(store.graphHotkey());
        conflict->setMessage(store.hotkeyConflictMessage(), MessageStyle::error);
    };
    show();
    QObject::connect(&store, &HotkeySettings::hotkeysChanged, group, show);
    QObject::connect(&store, &HotkeySettings::hotkeyConflictMessageChanged, group, show);

    const auto showDesktop = [portal, desktopNote, quickPanel, graph] {
        const bool portalBound = portal && portal->state() == GlobalShortcutsPortal::State::available;
        desktopNote->setMessage(desktopShortcutsNote(portal),
                                portalBound ? MessageStyle::secondary : MessageStyle::warning);
        quickPanel->setDesktopKeys(portal ? portal->heldKeysText(PortalShortcutId::quickPanel)
                                          : std::nullopt);
        graph->setDesktopKeys(portal ? portal->heldKeysText(PortalShortcutId::graph) : std::nullopt);
    };
    showDesktop();
    if (portal) {
        QObject::connect(portal, &GlobalShortcutsPortal::stateChanged, group, showDesktop);
        QObject::connect(portal, &GlobalShortcutsPortal::triggerDescriptionsChanged, group, showDesktop);
    }
    return group;
}

QWidget* makeSyncSection(SectionContext& context)
{
    SyncScheduler& store = context.sync;
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);

    auto* cloud = new PreferenceGroup(context.theme, QStringLiteral("Record Folder"), primary);
    auto* mode = new QComboBox;
    // The stored mode names stay as they are; the user reads what each mode does here.
    mode->addItem(QStringLiteral("Off"), static_cast<int>(SyncMode::disabled));
    mode->addItem(QStringLiteral("Shared record folder"), static_cast<int>(SyncMode::iCloud));
    QObject::connect(mode, &QComboBox::activated, page, [&store, mode](int index) {
        store.setSyncMode(static_cast<SyncMode>(mode->itemData(index).toInt()));
    });
    cloud->content()->addWidget(labelledRow(QStringLiteral("Sync"), mode));
    auto* status = new QLabel;
    cloud->content()->addWidget(labelledRow(QStringLiteral("Status"), status));
    auto* error = new PreferenceMessage(context.theme);
    cloud->content()->addWidget(error);
    auto* syncNow = new PreferenceButton(glyphIcon(Glyph::reload, context.theme.color(primary)),
                                         QStringLiteral("Sync Now"));
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(syncNow);
    buttonRow->addStretch(1);
    cloud->content()->addLayout(buttonRow);
    QObject::connect(syncNow, &QPushButton::clicked, page, [&store] { store.syncNow(); });
    cloud->content()->addWidget(new PreferenceMessage(
        context.theme,
        QStringLiteral(
            "Sync is off by default. With the shared record folder chosen, Morvane syncs on launch, every "
            "45 seconds, when the app becomes active, and when you open Morvane or the graph. Sync Now "
            "runs immediately.")));
    cloud->content()->addWidget(new PreferenceMessage(
        context.theme,
        QStringLiteral("Morvane syncs through the record folder %1. Morvane never creates it: while it "
                       "is missing, sync reports “Not signed in”. Make the folder, or make it a link "
                       "into a folder that a file-sync program shares between your computers.")
            .arg(FolderRecordStore::defaultFolderPath())));
    layout->addWidget(cloud);

    auto* machine = new PreferenceGroup(context.theme, QStringLiteral("This Computer"), primary);
    auto* machineID = new QLabel(context.settings.machineID());
    machineID->setTextFormat(Qt::PlainText);
    machineID->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPixelSize(textFont(TextStyle::caption).pixelSize());
    machineID->setFont(mono);
    context.theme.ink(machineID, PreferenceColors::tertiary);
    machine->content()->addWidget(labelledRow(QStringLiteral("Machine ID"), machineID));
    layout->addWidget(machine);

    const auto show = [&context, &store, mode, status, error, syncNow] {
        {
            const QSignalBlocker blocker(mode);
            mode->setCurrentIndex(mode->findData(static_cast<int>(store.syncMode())));
        }
        status->setText(rawValue(store.syncStatus()));
        context.theme.ink(status, syncStatusColor(store.syncStatus()));
        error->setMessage(store.syncErrorMessage(), MessageStyle::error);
        syncNow->setEnabled(store.syncMode() != SyncMode::disabled &&
                            store.syncStatus() != SyncStatus::syncing);
    };
    show();
    QObject::connect(&store, &SyncScheduler::syncModeChanged, page, show);
    QObject::connect(&store, &SyncScheduler::syncStatusChanged, page, show);
    QObject::connect(&store, &SyncScheduler::syncErrorMessageChanged, page, show);
    return page;
}

} // namespace morvane
