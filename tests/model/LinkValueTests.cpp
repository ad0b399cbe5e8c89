#include "TestValues.h"
#include "foundation/UserDefaults.h"
#include "model/CapturedContext.h"
#include "model/LibraryReset.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace morvane;

namespace {

TEST(LinkRelation, RecordNameIsTheSameForEitherOrder)
{
    const QUuid a = test::uuid("00000000-0000-0000-0000-00000000000A");
    const QUuid b = test::uuid("00000000-0000-0000-0000-00000000000b");
    EXPECT_EQ(LinkRelation::recordName(a, b), LinkRelation::recordName(b, a));
    EXPECT_EQ(LinkRelation::recordName(b, a),
              "00000000-0000-0000-0000-00000000000A_00000000-0000-0000-0000-00000000000B");
}

TEST(LibraryReset, AMarkerIsAppliedOnceByItsIdWhateverItsTime)
{
    const QDateTime t0 = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC);
    const LibraryReset acknowledged{QUuid::createUuid(), t0};
    const std::tuple<const char*, LibraryReset, bool> cases[] = {
        {"same reset", acknowledged, false},
        {"later reset", {QUuid::createUuid(), t0.addMSecs(1)}, true},
        {"older reset (a clock behind)", {QUuid::createUuid(), t0.addMSecs(-1)}, true},
        {"other reset, same instant", {QUuid::createUuid(), t0}, true},
        {"same id, later time", {acknowledged.resetID, t0.addSecs(5)}, false},
    };
    const auto defaults = UserDefaults::inMemory();
    EXPECT_TRUE(LibraryReset::shouldApply(acknowledged, *defaults)); // nothing acknowledged yet
    LibraryReset::saveAcknowledged(acknowledged, *defaults);
    EXPECT_EQ(LibraryReset::loadAcknowledged(*defaults), acknowledged);
    for (const auto& [what, remote, expected] : cases)
        EXPECT_EQ(LibraryReset::shouldApply(remote, *defaults), expected) << what;

    // The last sixteen applied are remembered, not more.
    QList<LibraryReset> later;
    for (int i = 0; i < 16; ++i) {
        later.append({QUuid::createUuid(), t0.addSecs(i)});
        LibraryReset::saveAcknowledged(later.constLast(), *defaults);
    }
    EXPECT_TRUE(LibraryReset::shouldApply(acknowledged, *defaults));
    EXPECT_FALSE(LibraryReset::shouldApply(later.constFirst(), *defaults));

    // A malformed acknowledgement counts as none.
    defaults->setString(LibraryReset::resetAtKey, "2024-05-01T09:30:12.345Z"); // text, not a date
    EXPECT_FALSE(LibraryReset::loadAcknowledged(*defaults));
    LibraryReset::saveAcknowledged(acknowledged, *defaults);
    defaults->setString(LibraryReset::resetIDKey, "not a uuid");
    EXPECT_FALSE(LibraryReset::loadAcknowledged(*defaults));
}

TEST(CapturedContext, TextsCompareByCanonicalEquivalence)
{
    const CapturedContext composed{"Caf\u00e9", "file:///Caf\u00e9", LinkType::file, "Finder", std::nullopt};
    EXPECT_EQ(composed, (CapturedContext{"Cafe\u0301", "file:///Cafe\u0301", LinkType::file, "Finder", {}}));
    EXPECT_NE(composed, (CapturedContext{"Cafe\u0301", "file:///Cafe\u0301", LinkType::file, "Finder",
                                         FileIdentity{}}));
    EXPECT_NE(composed,
              (CapturedContext{"Cafe\u0301", "file:///Cafe\u0301", LinkType::folder, "Finder", {}}));
}

} // namespace
