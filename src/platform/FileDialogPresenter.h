#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace morvane {

// The open and save panels, behind a seam so that view models stay free of widgets and tests answer
// them. Each returns the chosen path (or paths), or nothing when the user cancelled.
class FileDialogPresenter {
public:
    virtual ~FileDialogPresenter() = default;
    // nameFilters as Qt writes them, e.g. "JSON (*.json)".
    virtual std::optional<QString> chooseFileToOpen(const QString& title, const QStringList& nameFilters) = 0;
    virtual std::optional<QString> chooseFileToSave(const QString& title, const QString& suggestedName,
                                                    const QStringList& nameFilters) = 0;
    // Several folders may be chosen at once; none when the user cancelled.
    virtual QStringList chooseFolders(const QString& title) = 0;
};

} // namespace morvane
