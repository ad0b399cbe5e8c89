#include "PreferenceColors.h"
#include "PreferenceControls.h"
#include "PreferencesSections.h"
#include "desktop/Glyphs.h"
#include "desktop/TextStyle.h"
#include "files/KnownRootsStore.h"
#include "foundation/LocatorUrl.h"
#include "platform/AlertPresenter.h"
#include "platform/FileDialogPresenter.h"
#include "services/DatabaseActionStatus.h"
#include "services/LibraryMaintenance.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <QCoroTask>

namespace morvane {

namespace {

using namespace PreferenceColors;

const QStringList jsonFilter{QStringLiteral("JSON (*.json)")};

QProgressBar* busyIndicator()
{
    auto* bar = new QProgressBar;
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedSize(60, 8);
    return bar;
}

QHBoxLayout* leadingRow(std::initializer_list<QWidget*> widgets)
{
    auto* row = new QHBoxLayout;
    for (QWidget* widget : widgets)
        row->addWidget(widget);
    row->addStretch(1);
    return row;
}

// --- Backup ---------------------------------------------------------------------------------------

void presentExportPanel(SectionContext& context)
{
    const std::optional<QString> path = context.fileDialogs.chooseFileToSave(
        QStringLiteral("Export"), QStringLiteral("Morvane Library.json"), jsonFilter);
    if (path)
        context.maintenance.exportLibrary(*path);
}

void showReplaceConfirmation(SectionContext& context, const MorvaneLibraryImportPreview& preview,
                             const QString& path)
{
    const int answer =
        context.alerts.present({Alert::Style::warning,
                                QStringLiteral("Replace Local Morvane Library?"),
                                replaceConfirmationText(lastPathComponentOfPath(path), preview),
                                {QStringLiteral("Replace"), QStringLiteral("Cancel")},
                                true});
    if (answer == 0)
        context.maintenance.importLibrary(path, true);
}

void showImportConfirmation(SectionContext& context, const MorvaneLibraryImportPreview& preview,
                            const QString& path)
{
    const int answer = context.alerts.present(
        {Alert::Style::informational,
         QStringLiteral("Import Morvane Library?"),
         importConfirmationText(lastPathComponentOfPath(path), preview),
         {QStringLiteral("Merge"), QStringLiteral("Replace Local Library"), QStringLiteral("Cancel")}});
    if (answer == 0)
        context.maintenance.importLibrary(path, false);
    else if (answer == 1)
        showReplaceConfirmation(context, preview, path);
}

// The question comes only once the file has been read; a file that cannot be used asks nothing (the
// settings model says why in its message).
QCoro::Task<> previewAndConfirmImport(SectionContext& context, QPointer<QWidget> page, QString path)
{
    std::optional<MorvaneLibraryImportPreview> preview;
    try {
        preview = co_await context.maintenance.previewImport(path);
    } catch (...) {
        // previewImport reports its failures in the message line; nothing else can reach here.
    }
    if (preview && page)
        showImportConfirmation(context, *preview, path);
}

void presentImportPanel(SectionContext& context, QWidget* page)
{
    const std::optional<QString> path =
        context.fileDialogs.chooseFileToOpen(QStringLiteral("Import"), jsonFilter);
    if (path)
        previewAndConfirmImport(context, page, *path);
}

// --- File repair ----------------------------------------------------------------------------------

QWidget* candidateRow(SectionContext& context, const FileResolutionCandidate& candidate,
                      std::function<void()> onConfirm)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    const ConfidenceBadge badge = confidenceBadge(candidate.confidence);
    auto* badgePanel = new TintedPanel(context.theme, badge.color.withOpacity(0.12), 5);
    auto* badgeLayout = new QHBoxLayout(badgePanel);
    badgeLayout->setContentsMargins(6, 3, 6, 3);
    auto* badgeLabel = new QLabel(badge.text);
    badgeLabel->setFont(systemFont(10, QFont::DemiBold));
    context.theme.ink(badgeLabel, badge.color);
    badgeLayout->addWidget(badgeLabel);
    layout->addWidget(badgePanel);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    const QString path = localPathOfFileUrl(candidate.url).value_or(candidate.url);
    auto* pathLabel = new PathLabel(path);
    pathLabel->setFont(textFont(TextStyle::caption));
    auto* evidence = new QLabel(candidateEvidenceLine(candidate));
    evidence->setTextFormat(Qt::PlainText);
    evidence->setFont(textFont(TextStyle::caption2));
    context.theme.ink(evidence, secondary);
    texts->addWidget(pathLabel);
    texts->addWidget(evidence);
    layout->addLayout(texts, 1);

    auto* confirm = new PreferenceButton(glyphIcon(Glyph::checkmark, context.theme.color(primary)),
                                         QStringLiteral("Confirm"));
    QObject::connect(confirm, &QPushButton::clicked, row, std::move(onConfirm));
    layout->addWidget(confirm);
    return row;
}

QWidget* issueCard(SectionContext& context, const FileRepairIssue& issue,
                   const std::function<void(const FileResolutionCandidate&)>& onConfirm)
{
    auto* card = new PreferenceCard(context.theme);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);

    const RepairStatusPresentation status = repairStatusPresentation(issue.result.status);
    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(new GlyphView(context.theme, status.glyph, status.color, 18));
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto* title = new QLabel(issue.item.title);
    title->setTextFormat(Qt::PlainText);
    title->setFont(systemFont(12, QFont::DemiBold));
    auto* label = new QLabel(status.label);
    label->setFont(textFont(TextStyle::caption));
    context.theme.ink(label, secondary);
    titles->addWidget(title);
    titles->addWidget(label);
    header->addLayout(titles, 1);
    layout->addLayout(header);

    if (issue.result.candidates.isEmpty()) {
        auto* none =
            new QLabel(QStringLiteral("No likely matches found. Add another known root or relink manually "
                                      "from the file's next active context."));
        none->setWordWrap(true);
        none->setFont(textFont(TextStyle::caption));
        context.theme.ink(none, secondary);
        layout->addWidget(none);
    }
    for (const FileResolutionCandidate& candidate : issue.result.candidates.mid(0, 3))
        layout->addWidget(candidateRow(context, candidate, [onConfirm, candidate] { onConfirm(candidate); }));
    return card;
}

// The repair card keeps the issues of the last scan, less those confirmed since, for as long as the
// window lives.
class RepairCard : public QWidget {
public:
    explicit RepairCard(SectionContext& context)
        : m_context(context)
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(12);
        auto* add = new PreferenceButton(glyphIcon(Glyph::folder, context.theme.color(primary)),
                                         QStringLiteral("Add Known Root…"));
        m_scan = new PreferenceButton(glyphIcon(Glyph::magnifier, context.theme.color(primary)),
                                      QStringLiteral("Scan Repairs"));
        m_busy = busyIndicator();
        auto* buttons = leadingRow({add, m_scan});
        buttons->addWidget(m_busy);
        layout->addLayout(buttons);
        layout->addWidget(makeKnownRootList(
            context,
            QStringLiteral(
                "Add folders you approve Morvane to scan when files move. Morvane never scans the whole "
                "disk silently."),
            QStringLiteral("Remove Known Root")));
        m_issues = new QWidget;
        m_issueLayout = new QVBoxLayout(m_issues);
        m_issueLayout->setContentsMargins(0, 0, 0, 0);
        m_issueLayout->setSpacing(10);
        layout->addWidget(m_issues);
        m_message = new PreferenceMessage(context.theme);
        layout->addWidget(m_message);

        connect(add, &QPushButton::clicked, this, [&context] { addKnownRootFolders(context); });
        connect(m_scan, &QPushButton::clicked, this, [this] { runRepairScan(); });
        connect(&context.maintenance, &LibraryMaintenance::repairQueueChanged, this, &RepairCard::showQueue);
        showQueue();
        showIssues();
    }

private:
    void showQueue()
    {
        const LibraryMaintenance& store = m_context.maintenance;
        m_scan->setEnabled(!store.repairQueueInProgress());
        m_busy->setVisible(store.repairQueueInProgress());
        m_message->setOutcome(store.repairQueueMessage());
    }

    void showIssues()
    {
        clearRows(m_issueLayout);
        for (const FileRepairIssue& issue : std::as_const(m_repairIssues)) {
            m_issueLayout->addWidget(
                issueCard(m_context, issue, [this, issue](const FileResolutionCandidate& c) {
                    confirmRepairCandidate(issue, c);
                }));
        }
        m_issues->setVisible(!m_repairIssues.isEmpty());
    }

    QCoro::Task<> runRepairScan()
    {
        QPointer<RepairCard> self(this);
        QList<FileRepairIssue> found;
        try {
            found = co_await m_context.maintenance.scanFileRepairs(m_context.knownRoots.rootPaths());
        } catch (...) {
            // A failed scan answers an empty list and says why in the message.
        }
        if (!self)
            co_return;
        m_repairIssues = found;
        showIssues();
    }

    QCoro::Task<> confirmRepairCandidate(FileRepairIssue issue, FileResolutionCandidate candidate)
    {
        QPointer<RepairCard> self(this);
        bool relinked = false;
        try {
            relinked = co_await m_context.maintenance.confirmFileRepair(issue.item, candidate);
        } catch (...) {
            // A failed relink answers false and says why in the message.
        }
        if (!self || !relinked)
            co_return;
        // A scan that finished meanwhile replaced the list; the issue goes from whichever list is shown.
        m_repairIssues.removeIf([&](const FileRepairIssue& each) { return each.id() == issue.id(); });
        showIssues();
    }

    SectionContext& m_context;
    QList<FileRepairIssue> m_repairIssues;
    QPushButton* m_scan;
    QProgressBar* m_busy;
    QWidget* m_issues;
    QVBoxLayout* m_issueLayout;
    PreferenceMessage* m_message;
};

} // namespace

QWidget* makeAdvancedSection(SectionContext& context)
{
    DatabaseActionStatus& action = context.databaseAction;
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);

    auto* backup = new PreferenceGroup(context.theme, QStringLiteral("Backup"), primary);
    auto* exportButton = new PreferenceButton(glyphIcon(Glyph::openInApp, context.theme.color(primary)),
                                              QStringLiteral("Export Library…"));
    auto* importButton = new PreferenceButton(glyphIcon(Glyph::plus, context.theme.color(primary)),
                                              QStringLiteral("Import Library…"));
    backup->content()->addLayout(leadingRow({exportButton, importButton}));
    backup->content()->addWidget(new PreferenceMessage(
        context.theme,
        QStringLiteral("Exports include links, tags, relations, notes, and portable file fingerprints. "
                       "Machine-local bookmarks and inode evidence stay on this computer.")));
    QObject::connect(exportButton, &QPushButton::clicked, page, [&context] { presentExportPanel(context); });
    QObject::connect(importButton, &QPushButton::clicked, page,
                     [&context, page] { presentImportPanel(context, page); });
    layout->addWidget(backup);

    auto* repair = new PreferenceGroup(context.theme, QStringLiteral("File Repair"), primary);
    repair->content()->addWidget(new RepairCard(context));
    layout->addWidget(repair);

    auto* danger = new PreferenceGroup(context.theme, QStringLiteral("Danger Zone"), red);
    auto* erase = new PreferenceButton(glyphIcon(Glyph::trash, context.theme.color(red)),
                                       QStringLiteral("Erase All Morvane Data…"));
    context.theme.ink(erase, red);
    danger->content()->addLayout(leadingRow({erase}));
    danger->content()->addWidget(new PreferenceMessage(
        context.theme,
        QStringLiteral(
            "Use this only when you want a completely empty Morvane library. With sync on, the shared "
            "record folder is emptied as well so old pages are not restored."),
        MessageStyle::warning));
    QObject::connect(erase, &QPushButton::clicked, page, [&context] { context.confirmEraseAllData(); });
    layout->addWidget(danger);

    auto* progress = new QWidget;
    auto* progressRow = new QHBoxLayout(progress);
    progressRow->setContentsMargins(0, 0, 0, 0);
    progressRow->setSpacing(10);
    progressRow->addWidget(busyIndicator());
    auto* progressText = new QLabel;
    progressText->setTextFormat(Qt::PlainText);
    progressText->setFont(textFont(TextStyle::caption));
    context.theme.ink(progressText, secondary);
    progressRow->addWidget(progressText, 1);
    layout->addWidget(progress);
    auto* message = new PreferenceMessage(context.theme);
    layout->addWidget(message);

    const auto show = [&action, exportButton, importButton, erase, progress, progressText, message] {
        const bool busy = action.inProgress();
        for (QPushButton* button : {exportButton, importButton, erase})
            button->setEnabled(!busy);
        progress->setVisible(busy);
        progressText->setText(
            action.progressMessage().value_or(QStringLiteral("Working on Morvane data...")));
        message->setOutcome(action.message());
    };
    show();
    QObject::connect(&action, &DatabaseActionStatus::changed, page, show);
    return page;
}

} // namespace morvane
