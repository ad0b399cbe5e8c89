#pragma once

#include "foundation/AppearanceColor.h"
#include "foundation/Glyph.h"
#include "foundation/SystemColor.h"
#include "quickpanel/QuickPanelMode.h"

#include <QLabel>
#include <QWidget>

namespace morvane {

class AppearanceService;
class QuickPanelViewModel;

// How the header names a mode: the badge's word and tint, and the line under the title.
struct QuickPanelModeLook {
    QString badge;
    SystemColor tint;
    QString subtitle;
};
QuickPanelModeLook quickPanelModeLook(QuickPanelMode::Kind mode);

// The key hints at the footer's right for the panel's state now, most useful first.
QStringList quickPanelFooterHints(const QuickPanelViewModel& model);

// The small painted pieces of the panel. Each resolves its colours when it paints, so an appearance
// switch needs only a repaint.

// A band filled with one colour, with a hairline along its top or bottom edge.
class QuickPanelBand : public QWidget {
public:
    enum class Edge { none, top, bottom };
    QuickPanelBand(AppearanceColor fill, Edge hairline, const AppearanceService* appearance,
                   QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AppearanceColor m_fill;
    Edge m_hairline;
    const AppearanceService* m_appearance;
};

// One glyph at a fixed size, optionally on a filled circle.
class QuickPanelGlyph : public QWidget {
public:
    QuickPanelGlyph(Glyph glyph, SystemColor color, QSize frame, double glyphSize,
                    const AppearanceService* appearance, QWidget* parent = nullptr);
    // Draws the glyph in white on a circle of this colour.
    void setDisc(SystemColor color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Glyph m_glyph;
    SystemColor m_color;
    double m_glyphSize;
    std::optional<SystemColor> m_disc;
    const AppearanceService* m_appearance;
};

// Plain text in one of the system's inks, kept in step with the appearance.
class QuickPanelText : public QLabel {
public:
    QuickPanelText(QFont font, SystemColor ink, const AppearanceService* appearance,
                   QWidget* parent = nullptr);

    // Wraps the text into at most this many lines, the last one ending in "…" when more was left.
    void setLineLimit(int lines);
    // The lines drawn when the text needs more room than the limit gives; none when the label draws
    // the text as it is.
    QStringList limitedLines() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void applyInk();

    SystemColor m_ink;
    const AppearanceService* m_appearance;
    int m_lineLimit = 0;
};

// Hints three spaces apart on one line, each whole: those that do not fit the width the line is given
// are left out from the last one on, so that no hint is ever cut mid-word.
class QuickPanelHintLine : public QuickPanelText {
public:
    using QuickPanelText::QuickPanelText;

    void setHints(const QStringList& hints);
    const QStringList& hints() const { return m_hints; }

    // Room for every hint; it takes less when the row has no more.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showFittingHints();

    QStringList m_hints;
};

// The mode's word on a pale pill of its tint.
class QuickPanelModeBadge : public QWidget {
public:
    QuickPanelModeBadge(const AppearanceService* appearance, QWidget* parent = nullptr);
    void setLook(const QString& text, SystemColor tint);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    SystemColor m_tint = SystemColor::accent;
    const AppearanceService* m_appearance;
};

} // namespace morvane
