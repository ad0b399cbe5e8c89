#include "QtFileDialogPresenter.h"

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
std::optional<QString> run(QFileDialog& dialog, const QString& title)
{
    dialog.setWindowTitle(title);
    dialog.setLabelText(QFileDialog::Accept, title);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace

std::optional<QString> QtFileDialogPresenter::chooseFileToOpen(const QString& title,
                                                               const QStringList& nameFilters)
{
    QFileDialog dialog(nullptr, QString(), startingFolder());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFilters);
    return run(dialog, title);
}

std::optional<QString> QtFileDialogPresenter::chooseFileToSave(const QString& title,
                                                               const QString& suggestedName,
                                                               const QStringList& nameFilters)
{
    QFileDialog dialog(nullptr, QString(), startingFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(nameFilters);
    dialog.selectFile(suggestedName);
    return run(dialog, title);
}

std::optional<QString> QtFileDialogPresenter::chooseFolder(const QString& title)
{
    QFileDialog dialog(nullptr, QString(), startingFolder());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    return run(dialog, title);
}

} // namespace morvane
