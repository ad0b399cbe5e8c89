#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace morvane {

// The one library-wide action under way (an erase, an export or an import) and the outcome of the
// last one, as the Preferences window shows them. Main thread only.
class DatabaseActionStatus : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    std::optional<QString> message() const { return m_message; }
    bool inProgress() const { return m_inProgress; }
    std::optional<QString> progressMessage() const { return m_progressMessage; }

    // Clears the last outcome and shows the action as under way.
    void start(const QString& progress);
    void setProgress(std::optional<QString> progress);
    void setMessage(std::optional<QString> message);
    void finish();

signals:
    void changed();

private:
    std::optional<QString> m_message;
    bool m_inProgress = false;
    std::optional<QString> m_progressMessage;
};

} // namespace morvane
