// The checksum the copies of our own files are checked with: the same for a run given in pieces of any
// size as for the run given whole, and moved by a single changed bit anywhere.
#include "foundation/Checksum64.h"

#include <QByteArray>

#include <gtest/gtest.h>

using namespace morvane;

TEST(Checksum64, GivesTheSameSumForARunInAnyPiecesAndMovesWithEveryBit)
{
    // The values of the well-known hash its rounds are those of, with no seed.
    EXPECT_EQ(Checksum64::of("", 0), 0xEF46DB3751D8E999ULL);
    EXPECT_EQ(Checksum64::of("a", 1), 0xD24EC4F1A98C6E5BULL);

    QByteArray run(1000, '\0');
    for (qsizetype i = 0; i < run.size(); ++i)
        run[i] = char(i * 37 % 251);
    const quint64 whole = Checksum64::of(run.constData(), std::size_t(run.size()));
    for (const qsizetype pieceSize : {1, 3, 31, 32, 33, 64, 999}) {
        Checksum64 inPieces;
        for (qsizetype at = 0; at < run.size(); at += pieceSize)
            inPieces.add(run.constData() + at, std::size_t(std::min(pieceSize, run.size() - at)));
        EXPECT_EQ(inPieces.value(), whole) << "pieces of " << pieceSize;
    }
    for (const qsizetype at : {0, 17, 500, 995, 999}) {
        QByteArray changed = run;
        changed[at] = char(changed[at] ^ 0x10);
        EXPECT_NE(Checksum64::of(changed.constData(), std::size_t(changed.size())), whole) << "bit at " << at;
    }
    EXPECT_NE(Checksum64::of(run.constData(), 999), whole); // one byte short
}
