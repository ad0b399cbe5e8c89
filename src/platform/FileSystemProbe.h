#pragma once

#include "platform/FileStatus.h"

#include <QString>

#include <memory>
#include <optional>

namespace morvane {

// The outcome of probing one path: the status, or a description of why there is none.
struct ProbeResult {
    std::optional<FileStatus> status;
    QString errorDescription;

    explicit operator bool() const { return status.has_value(); }
};

// Reads the status of a path in one call. Implementations are stateless and callable from any thread.
class FileSystemProbe {
public:
    virtual ~FileSystemProbe() = default;

    // Follows symbolic links when followLinks is true; otherwise a link reports itself.
    virtual ProbeResult status(const QString& path, bool followLinks = true) const = 0;
};

// One statx call per probe.
class LinuxFileSystemProbe : public FileSystemProbe {
public:
    ProbeResult status(const QString& path, bool followLinks = true) const override;

    static std::shared_ptr<LinuxFileSystemProbe> shared();
};

// A path holding U+0000 would be cut short at the system call and name another file: such paths
// are refused wherever a path reaches the system.
inline bool pathHoldsNul(const QString& path)
{
    return path.contains(QChar(0));
}

// The text the system shows for a failed probe or open of path with the given errno.
QString fileErrorDescription(const QString& path, int error);

} // namespace morvane
