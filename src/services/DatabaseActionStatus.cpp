#include "services/DatabaseActionStatus.h"

namespace morvane {

void DatabaseActionStatus::start(const QString& progress)
{
    setMessage(std::nullopt);
    m_inProgress = true;
    setProgress(progress);
}

void DatabaseActionStatus::setProgress(std::optional<QString> progress)
{
    m_progressMessage = std::move(progress);
    emit changed();
}

void DatabaseActionStatus::setMessage(std::optional<QString> message)
{
    m_message = std::move(message);
    emit changed();
}

void DatabaseActionStatus::finish()
{
    m_inProgress = false;
    setProgress(std::nullopt);
}

} // namespace morvane
