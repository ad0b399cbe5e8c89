#include "Sha256Hasher.h"

#include "foundation/FileDescriptor.h"

#include "platform/FileSystemProbe.h"

#include <QFile>

#include <openssl/evp.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace morvane {

namespace {

constexpr size_t chunkSize = 1 << 20;

struct DigestContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextDeleter>;

QString hexText(const unsigned char* digest, unsigned length)
{
    static const char digits[] = "0123456789abcdef";
    QString text(qsizetype(length) * 2, Qt::Uninitialized);
    QChar* out = text.data();
    for (unsigned i = 0; i < length; ++i) {
        *out++ = QLatin1Char(digits[digest[i] >> 4]);
        *out++ = QLatin1Char(digits[digest[i] & 0xf]);
    }
    return text;
}

FileStatus statusOf(const struct stat& st)
{
    FileStatus status;
    status.kind = S_ISREG(st.st_mode)   ? FileKind::regular
                  : S_ISDIR(st.st_mode) ? FileKind::directory
                                        : FileKind::other;
    status.inode = st.st_ino;
    status.deviceMajor = major(st.st_dev);
    status.deviceMinor = minor(st.st_dev);
    status.size = st.st_size;
    status.modificationTime = {st.st_mtim.tv_sec, quint32(st.st_mtim.tv_nsec)};
    status.changeTime = {st.st_ctim.tv_sec, quint32(st.st_ctim.tv_nsec)};
    return status;
}

bool unchanged(const FileStatus& before, const FileStatus& after)
{
    return before.size == after.size && before.modificationTime == after.modificationTime &&
           before.changeTime == after.changeTime;
}

} // namespace

std::optional<FileDigest> OpenSslSha256Hasher::hashFile(const QString& path) const
{
    if (pathHoldsNul(path))
        return std::nullopt;
    // Non-blocking, so that a FIFO or a device that slipped in after the caller's check cannot
    // hold this thread; the fstat below then refuses it.
    FileDescriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const FileStatus before = statusOf(st);
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    DigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return std::nullopt;
    std::vector<unsigned char> buffer(chunkSize);
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (count == 0)
            break;
        if (EVP_DigestUpdate(context.get(), buffer.data(), size_t(count)) != 1)
            return std::nullopt;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return std::nullopt;

    // A file written while it was read has no single content to fingerprint.
    if (::fstat(fd.get(), &st) != 0 || !unchanged(before, statusOf(st)))
        return std::nullopt;
    return FileDigest{hexText(digest, length), before};
}

std::shared_ptr<OpenSslSha256Hasher> OpenSslSha256Hasher::shared()
{
    static const auto instance = std::make_shared<OpenSslSha256Hasher>();
    return instance;
}

} // namespace morvane
