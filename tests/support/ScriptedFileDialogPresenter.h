#pragma once

#include "platform/FileDialogPresenter.h"

#include <QList>

namespace morvane::test {

// Answers the open and save panels with the paths queued in answers (nothing stands for Cancel, as
// does an empty queue) and keeps every request.
class ScriptedFileDialogPresenter final : public FileDialogPresenter {
public:
    struct Request {
        enum class Kind { open, save, folder };
        Kind kind = Kind::open;
        QString title;
        QString suggestedName;
        QStringList nameFilters;
        bool operator==(const Request&) const = default;
    };

    std::optional<QString> chooseFileToOpen(const QString& title, const QStringList& nameFilters) override
    {
        return answer({Request::Kind::open, title, {}, nameFilters});
    }
    std::optional<QString> chooseFileToSave(const QString& title, const QString& suggestedName,
                                            const QStringList& nameFilters) override
    {
        return answer({Request::Kind::save, title, suggestedName, nameFilters});
    }
    // Each answer holds the folders of one choice, separated by new lines.
    QStringList chooseFolders(const QString& title) override
    {
        const std::optional<QString> chosen = answer({Request::Kind::folder, title, {}, {}});
        return chosen ? chosen->split(u'\n') : QStringList();
    }

    QList<std::optional<QString>> answers;
    QList<Request> requests;

private:
    std::optional<QString> answer(Request request)
    {
        requests.append(std::move(request));
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }
};

} // namespace morvane::test
