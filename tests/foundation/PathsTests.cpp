#include "TestFiles.h"
#include "foundation/Paths.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace morvane;

namespace {

int modeBits(const QString& path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 0777) : -1;
}

TEST(PrivateDirectory, IsMadeOrTightenedAndSaysWhyWhenItCannotBe)
{
    const QString nested = test::testHome() + "/private/a/b";
    EXPECT_EQ(ensurePrivateDirectory(nested), std::nullopt);
    EXPECT_EQ(modeBits(nested), 0700);

    const QString open = test::testHome() + "/open";
    ASSERT_TRUE(QDir().mkpath(open));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0755), 0);
    EXPECT_EQ(ensurePrivateDirectory(open), std::nullopt);
    EXPECT_EQ(modeBits(open), 0700);

    const QString blocked = test::testHome() + "/file";
    QFile file(blocked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(ensurePrivateDirectory(blocked + "/inside"),
              QString("Could not create the folder " + blocked + "/inside"));

    // A folder that exists but whose permissions cannot be changed, even by root: not "could not create".
    EXPECT_EQ(ensurePrivateDirectory("/proc/self"),
              QString("Could not make the folder /proc/self private: Operation not permitted"));
}

} // namespace
