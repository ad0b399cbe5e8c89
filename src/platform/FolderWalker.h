#pragma once

#include "platform/FileStatus.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace morvane {

// One item met during a walk. status is the item itself (a symbolic link reports itself).
struct WalkEntry {
    QString path;
    QString name;
    int depth = 1; // 1 for the items directly inside the root
    FileStatus status;
};

struct WalkOptions {
    bool skipHidden = true; // names that start with "."
    int maxDepth = -1;      // -1: no limit
    bool stayOnRootDevice = false;
};

enum class WalkStep { proceed, skipChildren, stop };

// Walks a folder depth first: each folder's entries in name order, a folder before what it holds.
// Symbolic links are reported but never followed; folders that cannot be read are passed over
// silently. Callable from any thread.
class FolderWalker {
public:
    virtual ~FolderWalker() = default;

    // False when the root itself cannot be read as a folder.
    virtual bool walk(const QString& root, const WalkOptions& options,
                      const std::function<WalkStep(const WalkEntry&)>& visit) const = 0;
};

class LinuxFolderWalker : public FolderWalker {
public:
    bool walk(const QString& root, const WalkOptions& options,
              const std::function<WalkStep(const WalkEntry&)>& visit) const override;

    static std::shared_ptr<LinuxFolderWalker> shared();
};

} // namespace morvane
