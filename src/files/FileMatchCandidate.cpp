#include "FileMatchCandidate.h"

#include "foundation/Uuid.h"

namespace morvane {

QString FileMatchCandidate::id() const
{
    return uuidString(item.id) + u'-' + rawValue(confidence);
}

QString FileMatchCandidate::rawValue(Confidence confidence)
{
    switch (confidence) {
    case Confidence::exactLocal:
        return QStringLiteral("exactLocal");
    case Confidence::sameNameAndFingerprint:
        return QStringLiteral("sameNameAndFingerprint");
    case Confidence::sameFingerprint:
        return QStringLiteral("sameFingerprint");
    case Confidence::sameNameAndSize:
        return QStringLiteral("sameNameAndSize");
    case Confidence::sameName:
        return QStringLiteral("sameName");
    }
    return {};
}

std::optional<FileMatchCandidate::Confidence> FileMatchCandidate::confidenceFromRawValue(const QString& raw)
{
    for (const Confidence confidence : allConfidences())
        if (rawValue(confidence) == raw)
            return confidence;
    return std::nullopt;
}

const QList<FileMatchCandidate::Confidence>& FileMatchCandidate::allConfidences()
{
    static const QList<Confidence> all{Confidence::exactLocal, Confidence::sameNameAndFingerprint,
                                       Confidence::sameFingerprint, Confidence::sameNameAndSize,
                                       Confidence::sameName};
    return all;
}

} // namespace morvane
