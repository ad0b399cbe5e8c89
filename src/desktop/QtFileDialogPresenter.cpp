#include "QtFileDialogPresenter.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

namespace morvane {

namespace {

QString startingFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath();
}

// The title is what the choice is for ("Export", "Import", "Add"), so the confirm button says it too
// rather than a plain "Save", "Open" or "Choose".
QStringList run(QFileDialog& dialog, const QString& title)
{
    dialog.setWindowTitle(title);
    dialog.setLabelText(QFileDialog::Accept, title);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

std::optional<QString> runForOne(QFileDialog& dialog, const QString& title)
{
    const QStringList chosen = run(dialog, title);
    return chosen.isEmpty() ? std::nullopt : std::optional(chosen.constFirst());
}

} // namespace

std::optional<QString> QtFileDialogPresenter::chooseFileToOpen(const QString& title,
                                                               const QStringList& nameFilters)
{
    QFileDialog dialog(nullptr, QString(), startingFolder());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFilters);
    return runForOne(dialog, title);
}

std::optional<QString> QtFileDialogPresenter::chooseFileToSave(const QString& title,
                                                               const QString& suggestedName,
                                                               const QStringList& nameFilters)
{
    QFileDialog dialog(nullptr, QString(), startingFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(nameFilters);
    dialog.selectFile(suggestedName);
    return runForOne(dialog, title);
}

QStringList QtFileDialogPresenter::chooseFolders(const QString& title)
{
    QFileDialog dialog(nullptr, QString(), startingFolder());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Qt's own dialog, whose folder views can be told to take several folders at once (Ctrl or Shift
    // and a click); a desktop's own chooser may take only one.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    for (const char* name : {"listView", "treeView"}) {
        if (auto* view = dialog.findChild<QAbstractItemView*>(QString::fromLatin1(name)))
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
    return run(dialog, title);
}

} // namespace morvane
