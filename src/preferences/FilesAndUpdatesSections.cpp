#include "PreferenceColors.h"
#include "PreferenceControls.h"
#include "PreferencesSections.h"
#include "desktop/Glyphs.h"
#include "desktop/TextStyle.h"
#include "files/KnownRootsStore.h"
#include "platform/FileDialogPresenter.h"
#include "services/AppSettings.h"
#include "services/Updater.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace morvane {

using PreferenceColors::primary;

void addKnownRootFolders(SectionContext& context)
{
    for (const QString& folder : context.fileDialogs.chooseFolders(QStringLiteral("Add")))
        context.knownRoots.addRoot(folder);
}

namespace {

// The rows of the known roots, rebuilt whenever the list changes; the Files page and the repair
// card each show one.
class KnownRootList : public QWidget {
public:
    KnownRootList(SectionContext& context, QString emptyText, QString removeTooltip)
        : m_context(context)
        , m_emptyText(std::move(emptyText))
        , m_removeTooltip(std::move(removeTooltip))
        , m_layout(new QVBoxLayout(this))
    {
        m_layout->setContentsMargins(0, 0, 0, 0);
        m_layout->setSpacing(6);
        rebuild();
        connect(&context.knownRoots, &KnownRootsStore::rootPathsChanged, this, &KnownRootList::rebuild);
    }

private:
    void rebuild()
    {
        clearRows(m_layout);
        const QStringList paths = m_context.knownRoots.rootPaths();
        if (paths.isEmpty()) {
            m_layout->addWidget(new PreferenceMessage(m_context.theme, m_emptyText));
            return;
        }
        for (const QString& path : paths)
            m_layout->addWidget(row(path));
    }

    QWidget* row(const QString& path)
    {
        auto* row = new TintedPanel(m_context.theme, PreferenceColors::folderRowFill, 6);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(8, 6, 8, 6);
        layout->setSpacing(10);
        layout->addWidget(new GlyphView(m_context.theme, Glyph::folder, PreferenceColors::secondary, 16));
        auto* text = new PathLabel(path);
        text->setFont(textFont(TextStyle::caption));
        layout->addWidget(text, 1);
        auto* remove = new QToolButton;
        remove->setAutoRaise(true);
        remove->setIcon(glyphIcon(Glyph::xmarkCircle, m_context.theme.color(PreferenceColors::red)));
        remove->setToolTip(m_removeTooltip);
        remove->setAccessibleName(m_removeTooltip);
        layout->addWidget(remove);
        SectionContext& context = m_context;
        connect(remove, &QToolButton::clicked, this,
                [&context, path] { context.knownRoots.removeRoot(path); });
        return row;
    }

    SectionContext& m_context;
    QString m_emptyText;
    QString m_removeTooltip;
    QVBoxLayout* m_layout;
};

} // namespace

QWidget* makeKnownRootList(SectionContext& context, const QString& emptyText, const QString& removeTooltip)
{
    return new KnownRootList(context, emptyText, removeTooltip);
}

QWidget* makeFilesSection(SectionContext& context)
{
    auto* group = new PreferenceGroup(context.theme, QStringLiteral("Search Folders"), primary);
    group->content()->addWidget(
        makeKnownRootList(context, QStringLiteral("No folders added yet."), QStringLiteral("Remove folder")));
    auto* add = new PreferenceButton(glyphIcon(Glyph::folder, context.theme.color(primary)),
                                     QStringLiteral("Add Folder to Search"));
    QObject::connect(add, &QPushButton::clicked, group, [&context] { addKnownRootFolders(context); });
    auto* row = new QHBoxLayout;
    row->addWidget(add);
    row->addStretch(1);
    group->content()->addLayout(row);
    group->content()->addWidget(new PreferenceMessage(
        context.theme,
        QStringLiteral("Morvane scans only these user-approved folders when resolving synced files "
                       "that cannot be found by local bookmark.")));
    return group;
}

QWidget* makeUpdatesSection(SectionContext& context)
{
    AppSettings& store = context.settings;
    auto* group = new PreferenceGroup(context.theme, QStringLiteral("Updates"), primary);
    auto* automatic = new QCheckBox(QStringLiteral("Automatically check for updates"));
    // Without an updater of our own the setting has nothing to act on: shown unticked and not offered,
    // while the stored value is kept for a copy that has one.
    const bool available = context.updater.isAvailable();
    automatic->setChecked(available && store.automaticUpdates());
    automatic->setEnabled(available);
    QObject::connect(automatic, &QCheckBox::toggled, group,
                     [&store](bool on) { store.setAutomaticUpdates(on); });
    QObject::connect(&store, &AppSettings::automaticUpdatesChanged, automatic,
                     [automatic, &store, available] {
                         const QSignalBlocker blocker(automatic);
                         automatic->setChecked(available && store.automaticUpdates());
                     });
    group->content()->addWidget(automatic);
    auto* check = new PreferenceButton(glyphIcon(Glyph::sparkles, context.theme.color(primary)),
                                       QStringLiteral("Check for Updates"));
    QObject::connect(check, &QPushButton::clicked, group, [&context] { context.updater.checkForUpdates(); });
    auto* row = new QHBoxLayout;
    row->addWidget(check);
    row->addStretch(1);
    group->content()->addLayout(row);
    // Without an updater of our own, updates come from the package manager or the source checkout.
    group->content()->addWidget(new PreferenceMessage(
        context.theme, available ? QStringLiteral("Automatic update checks are available.")
                                 : QStringLiteral("Morvane does not check for updates itself. ") +
                                       context.updater.updateSourceText()));
    return group;
}

} // namespace morvane
