#include "LinkSearchTextsCopy.h"

#include "foundation/Checksum64.h"
#include "foundation/FileDescriptor.h"
#include "foundation/FullTransfer.h"
#include "foundation/OwnFile.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace morvane {

namespace {

constexpr char copyKind[8] = {'M', 'v', 'T', 'e', 'x', 't', 's', '2'};
constexpr quint64 linkBytes = sizeof(qint64) + sizeof(qsizetype);
// Read a piece at a time and summed while the piece is still in the processor's cache.
constexpr std::size_t pieceBytes = std::size_t(1) << 18;

// Reads the bytes into place a piece at a time, adding each piece to the checksum as it comes.
bool readSumming(int descriptor, void* into, std::size_t bytes, Checksum64& checksum)
{
    auto at = static_cast<char*>(into);
    for (std::size_t left = bytes; left > 0;) {
        const std::size_t piece = std::min(left, pieceBytes);
        if (!readFully(descriptor, at, piece))
            return false;
        checksum.add(at, piece);
        at += piece;
        left -= piece;
    }
    return true;
}

// Ascending from 0, each link's texts at least the five bytes of their ends, the last ending the buffer
// with a NUL: a copy that fails is not used, so no damage to the file makes a search read outside the
// texts. Each start is bounded by the texts' size before any sum is taken, so none can overflow.
bool startsConsistent(const MappedArray<qsizetype>& starts, const MappedArray<char>& texts)
{
    if (starts.empty())
        return texts.empty();
    if (starts[0] != 0 || texts.size() < 5 || texts.back() != '\0')
        return false;
    const auto lastStart = qsizetype(texts.size() - 5);
    for (std::size_t i = 1; i < starts.size(); ++i) {
        if (starts[i] > lastStart || starts[i] < 5 || starts[i] - 5 < starts[i - 1])
            return false;
    }
    return true;
}

quint64 bodyChecksum(const LinkSearchTextsCopy::Body& body)
{
    Checksum64 checksum;
    checksum.add(body.rowids.begin(), body.rowids.size() * sizeof(qint64));
    checksum.add(body.starts.begin(), body.starts.size() * sizeof(qsizetype));
    checksum.add(body.texts.begin(), body.texts.size());
    return checksum.value();
}

// Flushes the folder's entries, so that a rename in it outlives a crash.
bool flushFolderOf(const QByteArray& path)
{
    const QByteArray folderPath = QFile::encodeName(QFileInfo(QFile::decodeName(path)).absolutePath());
    const FileDescriptor folder(::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.get() >= 0 && ::fsync(folder.get()) == 0;
}

} // namespace

LinkSearchTextsCopy::LinkSearchTextsCopy(QString path)
    : m_path(std::move(path))
{
}

LinkSearchTextsCopy::~LinkSearchTextsCopy()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

std::optional<LinkSearchTextsCopy::Head> LinkSearchTextsCopy::open()
{
    if (m_descriptor >= 0 || m_path.isEmpty())
        return std::nullopt;
    OwnFile file = openOwnRegularFile(QFile::encodeName(m_path));
    m_refusal = std::move(file.refusal);
    m_descriptor = file.descriptor;
    Head head{};
    if (m_descriptor < 0 || !readFully(m_descriptor, &head, sizeof head) ||
        std::memcmp(head.kind, copyKind, sizeof head.kind) != 0)
        return std::nullopt;
    const auto size = quint64(file.status.st_size);
    if (head.links > size / linkBytes || head.textBytes > size ||
        sizeof head + head.links * linkBytes + head.textBytes != size)
        return std::nullopt;
    return head;
}

bool LinkSearchTextsCopy::readBody(const Head& head, const Body& body)
{
    const auto links = std::size_t(head.links);
    const auto textBytes = std::size_t(head.textBytes);
    Checksum64 checksum;
    return readSumming(m_descriptor, body.rowids.extend(links), links * sizeof(qint64), checksum) &&
           readSumming(m_descriptor, body.starts.extend(links), links * sizeof(qsizetype), checksum) &&
           readSumming(m_descriptor, body.texts.extend(textBytes), textBytes, checksum) &&
           checksum.value() == head.bodyChecksum && startsConsistent(body.starts, body.texts);
}

bool LinkSearchTextsCopy::bodyMatches(const Head& head)
{
    std::vector<char> piece(pieceBytes);
    Checksum64 checksum;
    for (quint64 left = head.links * linkBytes + head.textBytes; left > 0;) {
        const auto bytes = std::size_t(std::min<quint64>(left, piece.size()));
        if (!readSumming(m_descriptor, piece.data(), bytes, checksum))
            return false;
        left -= bytes;
    }
    return checksum.value() == head.bodyChecksum;
}

bool LinkSearchTextsCopy::write(const QString& path, Head head, const Body& body)
{
    std::memcpy(head.kind, copyKind, sizeof head.kind);
    head.links = body.rowids.size();
    head.textBytes = body.texts.size();
    head.bodyChecksum = bodyChecksum(body);
    const QByteArray target = QFile::encodeName(path);
    const QByteArray written = target + ".new";
    // One a crash left is made anew; readable by the user alone, as it holds the links' texts.
    ::unlink(written.constData());
    FileDescriptor file(
        ::open(written.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    bool done = file.get() >= 0 && ::fchmod(file.get(), 0600) == 0 &&
                writeFully(file.get(), &head, sizeof head) &&
                writeFully(file.get(), body.rowids.begin(), body.rowids.size() * sizeof(qint64)) &&
                writeFully(file.get(), body.starts.begin(), body.starts.size() * sizeof(qsizetype)) &&
                writeFully(file.get(), body.texts.begin(), body.texts.size()) && ::fsync(file.get()) == 0;
    done = file.get() >= 0 && ::close(file.release()) == 0 && done;
    if (done && ::rename(written.constData(), target.constData()) == 0)
        return flushFolderOf(target);
    const int error = errno;
    ::unlink(written.constData());
    errno = error;
    return false;
}

} // namespace morvane
