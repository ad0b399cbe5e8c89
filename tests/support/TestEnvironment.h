#pragma once

#include <QByteArray>
#include <QGuiApplication>
#include <QPalette>
#include <QString>

#include <optional>

namespace morvane::test {

// The temporary home folder of the running test. The shared test main gives every test its own HOME,
// XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME, XDG_STATE_HOME and XDG_RUNTIME_DIR in it, so that no
// test reads or writes the real home folder or sees what an earlier test left behind, empty
// XDG_DATA_DIRS and XDG_CONFIG_DIRS, so that nothing installed on the machine changes a result, and
// no desktop session (WAYLAND_DISPLAY, SWAYSOCK, XDG_CURRENT_DESKTOP and the like are removed).
QString testHome();

// Sets (or, given nothing, removes) an environment variable for the life of the guard, and puts back
// what was there, so a failed assertion leaves the next test the environment it expects.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const char* name, const std::optional<QByteArray>& value)
        : m_name(name)
        , m_old(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        set(value);
    }
    ~ScopedEnvironmentVariable() { set(m_old); }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    void set(const std::optional<QByteArray>& value)
    {
        if (value)
            qputenv(m_name, *value);
        else
            qunsetenv(m_name);
    }

    const char* m_name;
    std::optional<QByteArray> m_old;
};

// Sets the application palette for the life of the guard and puts back the one that was there.
class ScopedApplicationPalette {
public:
    explicit ScopedApplicationPalette(const QPalette& palette)
        : m_old(QGuiApplication::palette())
    {
        QGuiApplication::setPalette(palette);
    }
    ~ScopedApplicationPalette() { QGuiApplication::setPalette(m_old); }
    ScopedApplicationPalette(const ScopedApplicationPalette&) = delete;
    ScopedApplicationPalette& operator=(const ScopedApplicationPalette&) = delete;

private:
    QPalette m_old;
};

} // namespace morvane::test
