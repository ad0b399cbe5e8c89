#include "AppearanceService.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QWidget>

namespace morvane {

namespace {

const char* const overrideVariable = "MORVANE_APPEARANCE";

} // namespace

AppearanceService::AppearanceService(QObject* parent)
    : QObject(parent)
{
    refresh();
    // The palette-change event reaches the application object, not a signal every Qt 6.4 build has.
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

QColor AppearanceService::glyphTint() const
{
    // Near-black on light panels and near-white on dark ones: a fixed grey vanishes on one of them.
    return m_appearance == Appearance::dark ? QColor(0xf2, 0xf2, 0xf2) : QColor(0x1e, 0x1e, 0x1e);
}

Appearance AppearanceService::resolve(const QByteArray& overrideValue, const QColor& windowColor)
{
    const QByteArray value = overrideValue.trimmed().toLower();
    if (value == "dark")
        return Appearance::dark;
    if (value == "light")
        return Appearance::light;
    return windowColor.lightnessF() < 0.5 ? Appearance::dark : Appearance::light;
}

void AppearanceService::repaintOnChange(QWidget* widget) const
{
    connect(this, &AppearanceService::appearanceChanged, widget, [widget] {
        widget->update();
        for (QWidget* child : widget->findChildren<QWidget*>())
            child->update();
    });
}

bool AppearanceService::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationPaletteChange)
        refresh();
    return QObject::eventFilter(watched, event);
}

void AppearanceService::refresh()
{
    const QColor window = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                              ? QGuiApplication::palette().color(QPalette::Window)
                              : QColor(Qt::white);
    const Appearance next = resolve(qgetenv(overrideVariable), window);
    if (next == m_appearance)
        return;
    m_appearance = next;
    emit appearanceChanged(next);
}

} // namespace morvane
