#include "files/FileMatchCandidate.h"
#include "files/FileResolution.h"
#include "files/FileResolutionCandidate.h"

#include <gtest/gtest.h>

using namespace morvane;

TEST(FileRepairTypes, EvidenceSummaryUsesLabelsInStoredOrder)
{
    using E = FileResolutionEvidence;
    FileResolutionCandidate candidate;
    EXPECT_EQ(candidate.evidenceSummary(), QString());
    candidate.evidence = {E::lastKnownPathExists, E::filenameMatch};
    EXPECT_EQ(candidate.evidenceSummary(), QStringLiteral("last path, name"));
    candidate.evidence = {E::fileIdentityMatch, E::contentHashMatch, E::modificationDateClose,
                          E::fileSizeMatch, E::bookmarkResolved};
    EXPECT_EQ(candidate.evidenceSummary(), QStringLiteral("file identity, hash, modified, size, bookmark"));
}

TEST(FileRepairTypes, RawValuesRoundTripAndRefuseUnknownText)
{
    for (const auto status : {FileResolutionStatus::resolved, FileResolutionStatus::staleBookmark,
                              FileResolutionStatus::needsRelocation, FileResolutionStatus::multipleCandidates,
                              FileResolutionStatus::missing})
        EXPECT_EQ(fileResolutionStatusFromRawValue(rawValue(status)), status);
    EXPECT_FALSE(fileResolutionStatusFromRawValue(QStringLiteral("Resolved")));
    EXPECT_FALSE(fileResolutionEvidenceFromRawValue(QString()));
    EXPECT_FALSE(FileMatchCandidate::confidenceFromRawValue(QStringLiteral("exact")));
    for (const auto confidence : FileMatchCandidate::allConfidences())
        EXPECT_EQ(FileMatchCandidate::confidenceFromRawValue(FileMatchCandidate::rawValue(confidence)),
                  confidence);
}

TEST(FileRepairTypes, MatchCandidateIdsDifferExactlyByConfidence)
{
    FileMatchCandidate a;
    a.item.id = QUuid(QStringLiteral("{6f1c2a9e-1b2c-4d3e-8f90-a1b2c3d4e5f6}"));
    a.confidence = FileMatchCandidate::Confidence::sameNameAndSize;
    EXPECT_EQ(a.id(), QStringLiteral("6F1C2A9E-1B2C-4D3E-8F90-A1B2C3D4E5F6-sameNameAndSize"));
    FileMatchCandidate b = a;
    b.selectedURL = QStringLiteral("file:///elsewhere");
    EXPECT_EQ(a.id(), b.id());
    EXPECT_NE(a, b);
    b.confidence = FileMatchCandidate::Confidence::sameName;
    EXPECT_NE(a.id(), b.id());
}
