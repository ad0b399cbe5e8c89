#pragma once

#include "../platform/PlatformTestFiles.h"

#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"
#include "platform/Sha256Hasher.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

namespace morvane::test {

inline QString fileUrl(const QString& path)
{
    return LocatorUrl::fileUrlText(path);
}

// Collects the lines logged under one category while it lives.
class LogCapture {
public:
    explicit LogCapture(QString category = QStringLiteral("morvane.FileIdentity"))
    {
        s_category = std::move(category);
        s_lines.clear();
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }

    QStringList lines() const { return s_lines; }

private:
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& message)
    {
        if (context.category && s_category == QLatin1String(context.category))
            s_lines.append(message);
    }

    static inline QString s_category;
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

// Hashes through OpenSSL but can be told to fail (CI runs as root, so permissions cannot make a
// file unreadable) and counts the files it actually read.
class ScriptedHasher : public Sha256Hasher {
public:
    std::optional<FileDigest> hashFile(const QString& path) const override
    {
        ++reads;
        if (failing)
            return std::nullopt;
        return OpenSslSha256Hasher().hashFile(path);
    }

    bool failing = false;
    mutable std::atomic<int> reads{0};
};

struct IdentityFixture {
    std::shared_ptr<ScriptedHasher> hasher = std::make_shared<ScriptedHasher>();
    std::shared_ptr<FileHashCache> cache = std::make_shared<FileHashCache>();
    std::shared_ptr<FileIdentityService> service = [this] {
        FileIdentityPlatform platform = FileIdentityPlatform::system();
        platform.hasher = hasher;
        return std::make_shared<FileIdentityService>(cache, platform);
    }();
};

} // namespace morvane::test
