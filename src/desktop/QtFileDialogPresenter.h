#pragma once

#include "platform/FileDialogPresenter.h"

namespace morvane {

// The open and save panels as Qt's file dialogs, application-modal. Each starts in the Documents folder
// (the home folder when there is none); a save has the suggested name filled in. The title names the
// confirm button as well.
class QtFileDialogPresenter final : public FileDialogPresenter {
public:
    std::optional<QString> chooseFileToOpen(const QString& title, const QStringList& nameFilters) override;
    std::optional<QString> chooseFileToSave(const QString& title, const QString& suggestedName,
                                            const QStringList& nameFilters) override;
    QStringList chooseFolders(const QString& title) override;
};

} // namespace morvane
