#pragma once

#include "platform/Sha256Hasher.h"

#include <atomic>

namespace morvane::test {

// Hashes through OpenSSL but can be told to fail (CI runs as root, so permissions cannot make a file
// unreadable) and counts the files it was asked to read.
class ScriptedHasher : public Sha256Hasher {
public:
    std::optional<FileDigest> hashFile(const QString& path) const override
    {
        ++reads;
        return failing ? std::nullopt : OpenSslSha256Hasher().hashFile(path);
    }

    std::atomic<bool> failing = false;
    mutable std::atomic<int> reads{0};
};

} // namespace morvane::test
