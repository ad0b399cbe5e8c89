#pragma once

#include "foundation/AppearanceColor.h"

#include <QColor>
#include <QObject>

class QWidget;

namespace morvane {

// Whether our windows and the panels around them are light or dark. MORVANE_APPEARANCE=light|dark
// overrides the reading; otherwise the application palette's window colour decides, and a palette
// change (a desktop theme switch) is announced so that drawn icons and windows can repaint.
class AppearanceService : public QObject {
    Q_OBJECT
public:
    explicit AppearanceService(QObject* parent = nullptr);

    Appearance appearance() const { return m_appearance; }
    // The colour a monochrome glyph is drawn in on this appearance's panels and windows.
    QColor glyphTint() const;

    // The appearance a palette's window colour stands for, unless the override says otherwise.
    static Appearance resolve(const QByteArray& overrideValue, const QColor& windowColor);

    // Repaints the widget and everything in it whenever the appearance changes: drawn colours are
    // resolved at paint time, so a repaint is all a switch needs.
    void repaintOnChange(QWidget* widget) const;

signals:
    void appearanceChanged(morvane::Appearance appearance);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();

    Appearance m_appearance = Appearance::light;
};

} // namespace morvane
