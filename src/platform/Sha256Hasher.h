#pragma once

#include "platform/FileStatus.h"

#include <QString>

#include <memory>
#include <optional>

namespace morvane {

// The fingerprint of one regular file, with the status of the file that was actually read.
struct FileDigest {
    QString hex;       // 64 lower-case hexadecimal digits
    FileStatus status; // as the open file reported it before reading
};

// SHA-256 of whole files. Callable from any thread.
class Sha256Hasher {
public:
    virtual ~Sha256Hasher() = default;

    // Nothing for anything but a regular file, for a file that cannot be read, and for a file that
    // changed while it was read.
    virtual std::optional<FileDigest> hashFile(const QString& path) const = 0;
};

// Streams the file through OpenSSL in large chunks. The file is never memory-mapped: a file
// truncated by another process while mapped would kill this one.
class OpenSslSha256Hasher : public Sha256Hasher {
public:
    std::optional<FileDigest> hashFile(const QString& path) const override;

    static std::shared_ptr<OpenSslSha256Hasher> shared();
};

} // namespace morvane
