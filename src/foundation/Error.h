#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace morvane {

// The base of every error family of the system. Errors cross threads as std::exception_ptr and are
// caught by their own type; the user interface shows localizedDescription().
class Error : public std::exception {
public:
    explicit Error(QString description);
    virtual QString localizedDescription() const;
    const char* what() const noexcept override;

private:
    QString m_description;
    QByteArray m_what;
};

// The platform's generic texts, for errors that carry no description of their own.
QString genericOperationText(const QString& detail);
QString genericFileNotOpenedText(const QString& fileName);
QString genericDataFormatText();

// What the user is told of a failure: our errors' own text, anything else's what(), and the generic
// operation text when the failure is not an exception at all.
QString describeError(const std::exception& error);
QString describeError(std::exception_ptr error);

} // namespace morvane
