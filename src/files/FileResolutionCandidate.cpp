#include "FileResolutionCandidate.h"

#include <QStringList>

namespace morvane {

QString FileResolutionCandidate::evidenceSummary() const
{
    QStringList labels;
    labels.reserve(evidence.size());
    for (const FileResolutionEvidence item : evidence)
        labels.append(evidenceLabel(item));
    return labels.join(QStringLiteral(", "));
}

} // namespace morvane
