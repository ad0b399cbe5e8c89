#include "HotkeyRecorder.h"

#include "PreferenceColors.h"
#include "PreferenceControls.h"
#include "desktop/HotkeyKeyTable.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace morvane {

namespace {

constexpr quint16 escapeKeyCode = 53;

// The modifier keys themselves, as stored (Command, Shift, Caps Lock, Option, Control, right
// Option), and the modifier each one holds down.
struct ModifierKey {
    int qtKey;
    quint16 keyCode;
    quint32 modifier;
};
constexpr ModifierKey modifierKeys[] = {
    {Qt::Key_Meta, 55, GlobalHotkeyBinding::commandKey},
    {Qt::Key_Super_L, 55, GlobalHotkeyBinding::commandKey},
    {Qt::Key_Super_R, 54, GlobalHotkeyBinding::commandKey},
    {Qt::Key_Shift, 56, GlobalHotkeyBinding::shiftKey},
    {Qt::Key_CapsLock, 57, 0},
    {Qt::Key_Alt, 58, GlobalHotkeyBinding::optionKey},
    {Qt::Key_Control, 59, GlobalHotkeyBinding::controlKey},
    {Qt::Key_AltGr, 61, GlobalHotkeyBinding::optionKey},
};

const ModifierKey* modifierKey(int qtKey)
{
    const auto* found = std::find_if(std::begin(modifierKeys), std::end(modifierKeys),
                                     [&](const ModifierKey& key) { return key.qtKey == qtKey; });
    return found == std::end(modifierKeys) ? nullptr : found;
}

std::optional<quint16> keyCodeForKeysym(quint32 keysym)
{
    // Letters are listed by their lower-case keysym; a shifted letter reports the upper-case one.
    if (keysym >= 'A' && keysym <= 'Z')
        keysym += 'a' - 'A';
    for (const HotkeyKeyEntry& entry : hotkeyKeyTable()) {
        if (entry.keysym == keysym)
            return entry.keyCode;
    }
    return std::nullopt;
}

// The keysym of a Qt key, for the keys a shortcut can name; 0 for the others.
quint32 keysymForQtKey(int qtKey)
{
    if (qtKey >= Qt::Key_Space && qtKey <= Qt::Key_AsciiTilde)
        return static_cast<quint32>(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F35)
        return 0xffbe + static_cast<quint32>(qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Return:
        return 0xff0d;
    case Qt::Key_Enter:
        return 0xff8d;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 0xff09;
    case Qt::Key_Backspace:
        return 0xff08;
    case Qt::Key_Escape:
        return 0xff1b;
    case Qt::Key_Insert:
        return 0xff63;
    case Qt::Key_Help:
        return 0xff6a;
    case Qt::Key_Home:
        return 0xff50;
    case Qt::Key_PageUp:
        return 0xff55;
    case Qt::Key_Delete:
        return 0xffff;
    case Qt::Key_End:
        return 0xff57;
    case Qt::Key_PageDown:
        return 0xff56;
    case Qt::Key_Left:
        return 0xff51;
    case Qt::Key_Right:
        return 0xff53;
    case Qt::Key_Down:
        return 0xff54;
    case Qt::Key_Up:
        return 0xff52;
    case Qt::Key_VolumeUp:
        return 0x1008ff13;
    case Qt::Key_VolumeDown:
        return 0x1008ff11;
    case Qt::Key_VolumeMute:
        return 0x1008ff12;
    default:
        return 0;
    }
}

} // namespace

std::optional<quint16> hotkeyKeyCode(int qtKey, quint32 keysym)
{
    if (const ModifierKey* modifier = modifierKey(qtKey))
        return modifier->keyCode;
    if (keysym != 0) {
        if (auto code = keyCodeForKeysym(keysym))
            return code;
    }
    if (const quint32 fromQt = keysymForQtKey(qtKey))
        return keyCodeForKeysym(fromQt);
    return std::nullopt;
}

HotkeyCaptureButton::HotkeyCaptureButton(PreferencesTheme& theme, HotkeyCommit commit, QWidget* parent)
    : QWidget(parent)
    , m_theme(theme)
    , m_commit(std::move(commit))
{
    setFocusPolicy(Qt::ClickFocus);
    setFixedSize(200, 28);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    connect(&theme, &PreferencesTheme::changed, this, qOverload<>(&QWidget::update));
}

void HotkeyCaptureButton::setBinding(const GlobalHotkeyBinding& binding)
{
    m_binding = binding;
    update();
}

void HotkeyCaptureButton::setDesktopKeys(const std::optional<QString>& keys)
{
    m_desktopKeys = keys;
    update();
}

QString HotkeyCaptureButton::displayedText() const
{
    if (!m_isRecording)
        return currentKeysText();
    return m_liveDisplay.isEmpty() ? QStringLiteral("Press shortcut…") : m_liveDisplay;
}

// What opens the action now: the desktop's keys while it holds the shortcut, which are what a new
// recording would have to replace there.
QString HotkeyCaptureButton::currentKeysText() const
{
    return m_desktopKeys.value_or(m_binding.shortcutText());
}

bool HotkeyCaptureButton::event(QEvent* event)
{
    if (m_isRecording) {
        // While recording every key is ours: Tab must not move the focus, and a window shortcut
        // must not fire instead of being recorded.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            keyPressEvent(static_cast<QKeyEvent*>(event));
            return true;
        }
    }
    return QWidget::event(event);
}

void HotkeyCaptureButton::mousePressEvent(QMouseEvent*)
{
    setFocus(Qt::MouseFocusReason);
    startRecording();
}

void HotkeyCaptureButton::startRecording()
{
    const bool wasRecording = m_isRecording;
    m_isRecording = true;
    m_liveDisplay = currentKeysText();
    // A click on a control already recording starts it afresh; the owner counts starts and stops,
    // so it hears of a start only once.
    if (!wasRecording)
        emit recordingChanged(true);
    update();
}

void HotkeyCaptureButton::stopRecording()
{
    m_isRecording = false;
    m_liveDisplay.clear();
    emit recordingChanged(false);
    update();
}

void HotkeyCaptureButton::showLive(quint32 modifiers, std::optional<quint16> keyCode)
{
    if (keyCode && !GlobalHotkeyBinding::isModifierKey(*keyCode))
        m_liveDisplay = GlobalHotkeyBinding{*keyCode, modifiers}.shortcutText();
    else if (modifiers != 0)
        m_liveDisplay = GlobalHotkeyBinding::modifierText(modifiers);
    else
        m_liveDisplay = currentKeysText();
    update();
}

void HotkeyCaptureButton::keyPressEvent(QKeyEvent* event)
{
    if (!m_isRecording)
        return;
    event->accept();
    const std::optional<quint16> keyCode = hotkeyKeyCode(event->key(), event->nativeVirtualKey());
    if (keyCode == escapeKeyCode) {
        stopRecording();
        return;
    }
    quint32 modifiers = GlobalHotkeyBinding::carbonModifiersFromQt(event->modifiers());
    if (const ModifierKey* modifier = modifierKey(event->key()))
        modifiers |= modifier->modifier;
    showLive(modifiers, keyCode);
    if (!keyCode || GlobalHotkeyBinding::isModifierKey(*keyCode) || modifiers == 0)
        return;

    const GlobalHotkeyBinding proposed{*keyCode, modifiers};
    if (proposed == m_binding || !m_commit) {
        stopRecording();
        return;
    }
    if (m_commit(proposed))
        m_binding = proposed;
    stopRecording();
}

void HotkeyCaptureButton::keyReleaseEvent(QKeyEvent* event)
{
    if (!m_isRecording)
        return;
    event->accept();
    const ModifierKey* modifier = modifierKey(event->key());
    if (!modifier)
        return;
    // The release still reports the released modifier as held.
    const quint32 held = GlobalHotkeyBinding::carbonModifiersFromQt(event->modifiers()) & ~modifier->modifier;
    showLive(held, std::nullopt);
}

void HotkeyCaptureButton::hideEvent(QHideEvent* event)
{
    if (m_isRecording)
        stopRecording();
    QWidget::hideEvent(event);
}

void HotkeyCaptureButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(frame, 6, 6);
    using namespace PreferenceColors;
    painter.fillPath(shape, m_theme.color(m_isRecording ? accent.withOpacity(0.1) : textBackground));
    painter.setPen(QPen(m_theme.color(m_isRecording ? accent : separator), m_isRecording ? 2 : 1));
    painter.drawPath(shape);

    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(13);
    font.setWeight(QFont::Medium);
    painter.setFont(font);
    const bool placeholder = m_isRecording && m_liveDisplay.isEmpty();
    painter.setPen(m_theme.color(placeholder ? secondary : primary));
    painter.drawText(frame.adjusted(6, 3, -6, -3), Qt::AlignHCenter | Qt::AlignTop, displayedText());
}

HotkeyRecorderField::HotkeyRecorderField(PreferencesTheme& theme, const QString& label, HotkeyCommit commit,
                                         QWidget* parent)
    : QWidget(parent)
    , m_control(new HotkeyCaptureButton(theme, std::move(commit)))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* caption = new QLabel(label);
    caption->setTextFormat(Qt::PlainText);
    caption->setBuddy(m_control);
    layout->addWidget(caption);
    layout->addStretch(1);
    layout->addWidget(m_control);
    connect(m_control, &HotkeyCaptureButton::recordingChanged, this,
            &HotkeyRecorderField::recordingSuspendedChanged);
}

} // namespace morvane
