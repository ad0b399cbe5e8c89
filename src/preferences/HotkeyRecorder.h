#pragma once

#include "services/GlobalHotkeyBinding.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QKeyEvent;

namespace morvane {

class PreferencesTheme;

// The stored key code of a pressed key: from the keysym the window system reported when there is
// one, else from Qt's key. Nothing for a key no shortcut can name.
std::optional<quint16> hotkeyKeyCode(int qtKey, quint32 keysym);

// Decides on a recorded shortcut: true keeps it, false refuses it.
using HotkeyCommit = std::function<bool(const GlobalHotkeyBinding&)>;

// The control that records a global shortcut. A click starts recording and shows the current
// shortcut until keys are pressed; held modifiers show as their symbols; a key with at least one
// modifier is proposed to the commit function, which decides. Escape (with any modifiers) cancels, and typing
// the current shortcut again ends recording without a proposal. Losing the focus does not stop
// recording, so a recorder left listening keeps the shortcuts suspended until it gets a key; only
// the window going away stops it, so that they are never left suspended behind a closed window.
class HotkeyCaptureButton : public QWidget {
    Q_OBJECT
public:
    HotkeyCaptureButton(PreferencesTheme& theme, HotkeyCommit commit, QWidget* parent = nullptr);

    GlobalHotkeyBinding binding() const { return m_binding; }
    void setBinding(const GlobalHotkeyBinding& binding);
    // The keys the desktop holds the shortcut under, shown instead of the stored shortcut, also
    // while recording until keys are pressed; nothing shows the stored one.
    void setDesktopKeys(const std::optional<QString>& keys);
    bool isRecording() const { return m_isRecording; }
    QString liveDisplay() const { return m_liveDisplay; }
    // What the control shows now.
    QString displayedText() const;

signals:
    // Recording started (true) or stopped (false); a click on a control already recording starts
    // it afresh without a second start.
    void recordingChanged(bool recording);

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void startRecording();
    void stopRecording();
    void showLive(quint32 modifiers, std::optional<quint16> keyCode);
    QString currentKeysText() const;

    PreferencesTheme& m_theme;
    HotkeyCommit m_commit;
    GlobalHotkeyBinding m_binding{37, GlobalHotkeyBinding::controlKey | GlobalHotkeyBinding::commandKey};
    bool m_isRecording = false;
    QString m_liveDisplay;
    std::optional<QString> m_desktopKeys;
};

// A labelled row holding a capture control of 200 × 28; tells its owner when recording starts and
// ends, so the owner can suspend the registered shortcuts meanwhile.
class HotkeyRecorderField : public QWidget {
    Q_OBJECT
public:
    HotkeyRecorderField(PreferencesTheme& theme, const QString& label, HotkeyCommit commit,
                        QWidget* parent = nullptr);

    HotkeyCaptureButton* control() const { return m_control; }
    void setBinding(const GlobalHotkeyBinding& binding) { m_control->setBinding(binding); }
    void setDesktopKeys(const std::optional<QString>& keys) { m_control->setDesktopKeys(keys); }

signals:
    void recordingSuspendedChanged(bool suspended);

private:
    HotkeyCaptureButton* m_control;
};

} // namespace morvane
