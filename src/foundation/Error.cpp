#include "Error.h"

namespace morvane {

Error::Error(QString description)
    : m_description(std::move(description))
    , m_what(m_description.toUtf8())
{
}

QString Error::localizedDescription() const
{
    return m_description;
}

const char* Error::what() const noexcept
{
    return m_what.constData();
}

QString genericOperationText(const QString& detail)
{
    return QStringLiteral("The operation couldn’t be completed. (") + detail + u')';
}

QString genericFileNotOpenedText(const QString& fileName)
{
    return QStringLiteral("The file “") + fileName + QStringLiteral("” couldn’t be opened.");
}

QString genericDataFormatText()
{
    return QStringLiteral("The data couldn’t be read because it isn’t in the correct format.");
}

QString describeError(const std::exception& error)
{
    const auto* ours = dynamic_cast<const Error*>(&error);
    return ours ? ours->localizedDescription() : QString::fromUtf8(error.what());
}

QString describeError(std::exception_ptr error)
{
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::exception& failure) {
        return describeError(failure);
    } catch (...) {
        return genericOperationText(QStringLiteral("unknown error"));
    }
}

} // namespace morvane
