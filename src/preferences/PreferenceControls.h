#pragma once

#include "PreferenceRules.h"
#include "foundation/AppearanceColor.h"
#include "foundation/Glyph.h"

#include <QAbstractButton>
#include <QLabel>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <optional>

class QLayout;
class QVBoxLayout;

namespace morvane {

class AppearanceService;

// Keeps the inks of the window's texts: every widget inked through it is inked again, in the other
// variant, when the appearance changes. Without an appearance service the light variants are used.
class PreferencesTheme : public QObject {
    Q_OBJECT
public:
    explicit PreferencesTheme(const AppearanceService* appearance, QObject* parent = nullptr);

    // Sets the widget's text colour; a later call for the same widget replaces the earlier one.
    void ink(QWidget* widget, const AppearanceColor& color);
    QColor color(const AppearanceColor& color) const;
    const AppearanceService* appearance() const { return m_appearance; }

signals:
    void changed();

private:
    void applyAll();

    const AppearanceService* m_appearance;
    struct Inked {
        QPointer<QWidget> widget;
        AppearanceColor color;
    };
    QList<Inked> m_inked;
};

// A one-paragraph message: wraps, never truncated, selectable for copying. Hidden while it has no text.
class PreferenceMessage : public QLabel {
    Q_OBJECT
public:
    PreferenceMessage(PreferencesTheme& theme, const QString& text = {},
                      MessageStyle style = MessageStyle::secondary, QWidget* parent = nullptr);

    void setMessage(const std::optional<QString>& text, MessageStyle style);
    // The style follows the text: a failure is shown as an error.
    void setOutcome(const std::optional<QString>& text);
    MessageStyle messageStyle() const { return m_style; }

private:
    PreferencesTheme& m_theme;
    MessageStyle m_style = MessageStyle::secondary;
};

// A titled card: the heading above a rounded, outlined panel holding the rows.
class PreferenceGroup : public QWidget {
    Q_OBJECT
public:
    PreferenceGroup(PreferencesTheme& theme, const QString& title, const AppearanceColor& titleColor,
                    QWidget* parent = nullptr);

    QVBoxLayout* content() const { return m_content; }
    QString title() const;

private:
    QLabel* m_heading;
    QVBoxLayout* m_content;
};

// A rounded panel with the card's fill and outline; PreferenceGroup and the repair issues use it. Its
// layout gives the padding.
class PreferenceCard : public QWidget {
public:
    explicit PreferenceCard(PreferencesTheme& theme, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PreferencesTheme& m_theme;
};

// A rounded patch of one faint colour behind a row or a badge.
class TintedPanel : public QWidget {
public:
    TintedPanel(PreferencesTheme& theme, const AppearanceColor& fill, qreal radius,
                QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PreferencesTheme& m_theme;
    AppearanceColor m_fill;
    qreal m_radius;
};

// A file-system path on one line, shortened in the middle to the width it is given (the file's
// name stays in view), with the whole path in its tooltip.
class PathLabel : public QLabel {
public:
    explicit PathLabel(const QString& path, QWidget* parent = nullptr);

    const QString& path() const { return m_path; }
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void elide();

    QString m_path;
};

// One of the system's glyphs in a fixed box, in one colour.
class GlyphView : public QWidget {
public:
    GlyphView(PreferencesTheme& theme, Glyph glyph, const AppearanceColor& color, int side,
              QWidget* parent = nullptr);
    void setGlyph(Glyph glyph, const AppearanceColor& color);
    const AppearanceColor& color() const { return m_color; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PreferencesTheme& m_theme;
    Glyph m_glyph;
    AppearanceColor m_color;
};

// A sidebar entry: the section's glyph and title, tinted with a faint tinted background when it is
// the page shown, a grey one while pressed otherwise. The whole padded row is clickable.
class SidebarButton : public QAbstractButton {
    Q_OBJECT
public:
    SidebarButton(PreferencesTheme& theme, Glyph glyph, const QString& title, const AppearanceColor& tint,
                  QWidget* parent = nullptr);

    QSize sizeHint() const override;
    // The ink of the title: the tint while selected, the primary ink otherwise.
    AppearanceColor ink() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PreferencesTheme& m_theme;
    Glyph m_glyph;
    AppearanceColor m_tint;
};

// A push button whose text keeps clear of its frame: the style's own hint leaves a few pixels either
// side, which reads as a text cut off at the frame. Its size follows the text it shows.
class PreferenceButton : public QPushButton {
public:
    using QPushButton::QPushButton;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};

// Takes every row out of the layout. The rows are deleted once control is back in the event loop: the
// button whose click changed the list may be one of them.
void clearRows(QLayout* layout);

// A label with its value right beside it, as a settings row; the label is the value's buddy.
QWidget* labelledRow(const QString& label, QWidget* value, QWidget* parent = nullptr);

} // namespace morvane
