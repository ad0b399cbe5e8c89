#pragma once

#include <QString>

#include <memory>

class QWidget;

namespace morvane {

class AppPresence;
class PreferencesStore;

// Owns one of the application's windows: made on first show, kept (hidden, not destroyed) when the
// user closes it, brought forward and centred on every show without breaking the hidden presence the
// settings ask for.
class WindowController {
public:
    WindowController(AppPresence& presence, const PreferencesStore& preferences, QString title);
    virtual ~WindowController();
    WindowController(const WindowController&) = delete;
    WindowController& operator=(const WindowController&) = delete;

    void show();
    void hide();
    // None until the first show; a hidden window counts as not visible to the hot-key toggles.
    QWidget* window() const { return m_window.get(); }

protected:
    virtual std::unique_ptr<QWidget> makeWindow();
    virtual void willShow() {}
    virtual void didShow(QWidget&) {}
    virtual void didHide() {}

private:
    AppPresence& m_presence;
    const PreferencesStore& m_preferences;
    QString m_title;
    std::unique_ptr<QWidget> m_window;
};

} // namespace morvane
