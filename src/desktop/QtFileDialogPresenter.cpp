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

std::optional<QString> chosen(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

} // namespace

std::optional<QString> QtFileDialogPresenter::chooseFileToOpen(const QString& title,
                                                               const QStringList& nameFilters)
{
    return chosen(QFileDialog::getOpenFileName(nullptr, title, startingFolder(), nameFilters.join(u";;")));
}

std::optional<QString> QtFileDialogPresenter::chooseFileToSave(const QString& title,
                                                               const QString& suggestedName,
                                                               const QStringList& nameFilters)
{
    return chosen(QFileDialog::getSaveFileName(nullptr, title, QDir(startingFolder()).filePath(suggestedName),
                                               nameFilters.join(u";;")));
}

std::optional<QString> QtFileDialogPresenter::chooseFolder(const QString& title)
{
    return chosen(QFileDialog::getExistingDirectory(nullptr, title, startingFolder()));
}

} // namespace morvane
