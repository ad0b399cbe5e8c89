#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace morvane::test {

namespace {
QString g_currentHome;

void setPath(const char* name, const QString& path)
{
    QDir().mkpath(path);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv(name, QFile::encodeName(path));
}
} // namespace

IsolatedHomeListener::IsolatedHomeListener() = default;
IsolatedHomeListener::~IsolatedHomeListener() = default;

void IsolatedHomeListener::OnTestStart(const ::testing::TestInfo&)
{
    m_home = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/morvane-test-XXXXXX"));
    const QString root = m_home->path();
    g_currentHome = root;
    setPath("HOME", root);
    setPath("XDG_CONFIG_HOME", root + QStringLiteral("/.config"));
    setPath("XDG_DATA_HOME", root + QStringLiteral("/.local/share"));
    setPath("XDG_RUNTIME_DIR", root + QStringLiteral("/.runtime"));
}

void IsolatedHomeListener::OnTestEnd(const ::testing::TestInfo&)
{
    g_currentHome.clear();
    m_home.reset();
}

QString testHome()
{
    return g_currentHome;
}

} // namespace morvane::test
