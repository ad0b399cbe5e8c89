#include "FileMatchCandidate.h"

#include "foundation/EnumNames.h"
#include "foundation/Uuid.h"

namespace morvane {

namespace {

using Confidence = FileMatchCandidate::Confidence;

constexpr EnumName<Confidence> confidenceNames[] = {
    {Confidence::exactLocal, "exactLocal"},
    {Confidence::sameNameAndFingerprint, "sameNameAndFingerprint"},
    {Confidence::sameFingerprint, "sameFingerprint"},
    {Confidence::sameNameAndSize, "sameNameAndSize"},
    {Confidence::sameName, "sameName"},
};

} // namespace

QString FileMatchCandidate::id() const
{
    return uuidString(item.id) + u'-' + rawValue(confidence);
}

QString FileMatchCandidate::rawValue(Confidence confidence)
{
    return enumNameText(confidenceNames, confidence);
}

} // namespace morvane
