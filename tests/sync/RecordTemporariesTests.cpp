// The record writer's temporaries in the shared folder: a quit while a record is written leaves none,
// and one a crash left goes at this machine's next listing, while another machine's stays.
#include "SyncTestSupport.h"

#include "sync/FolderRecordStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace morvane::test {
namespace {

constexpr qsizetype probeRecordBytes = qsizetype(64) << 20;

QStringList temporariesIn(const QString& folder)
{
    return QDir(folder).entryList({".morvane-*"}, QDir::Files | QDir::Hidden);
}

// Runs the probe's record write and ends its process as the mode says, once the write is under way.
void endProbeWhileWriting(const QString& folder, const char* mode)
{
    QProcess probe;
    probe.start(RECORD_WRITE_PROBE, {folder, mode, QString::number(probeRecordBytes)});
    ASSERT_TRUE(probe.waitForFinished(60000)) << mode;
    EXPECT_EQ(probe.exitCode(), 0) << mode;
    EXPECT_EQ(probe.readAllStandardOutput().trimmed(), "writing") << mode;
}

TEST(RecordTemporaries, AQuitDuringARecordWriteLeavesNoTemporaryAndACrashsGoesAtTheNextListing)
{
    const QString folder = testHome() + "/records";
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString recordFile = folder + "/" + RecordFileCodec::fileNameOf("Link_probe");

    endProbeWhileWriting(folder, "exit");
    EXPECT_EQ(temporariesIn(folder), QStringList());
    // The write either ended in time, whole, or was undone.
    if (QFileInfo::exists(recordFile)) {
        EXPECT_EQ(QFileInfo(recordFile).size(), probeRecordBytes);
    }
    QFile::remove(recordFile);

    endProbeWhileWriting(folder, "crash");
    ASSERT_EQ(temporariesIn(folder).size(), 1) << "a crash leaves its temporary";
    const QString anotherMachines = folder + "/.morvane-0123456789abcdef-5eed.tmp";
    QFile other(anotherMachines);
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();

    FolderRecordStore store(folder);
    store.query("Link", 10);
    EXPECT_EQ(temporariesIn(folder), QStringList{QFileInfo(anotherMachines).fileName()});
}

} // namespace
} // namespace morvane::test
