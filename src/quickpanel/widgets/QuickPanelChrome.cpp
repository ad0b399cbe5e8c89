#include "QuickPanelChrome.h"

#include "desktop/Glyphs.h"
#include "desktop/PaintColors.h"
#include "desktop/SharedColors.h"
#include "desktop/TextStyle.h"
#include "foundation/KeyText.h"
#include "quickpanel/QuickPanelViewModel.h"

#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <algorithm>
#include <functional>

namespace morvane {

namespace {

constexpr double badgePaddingX = 7;
constexpr double badgePaddingY = 3;
constexpr double badgeRadius = 6;
constexpr double paleTint = 0.12;

QFont badgeFont()
{
    QFont font = textFont(TextStyle::caption);
    font.setWeight(QFont::DemiBold);
    return font;
}

} // namespace

QuickPanelModeLook quickPanelModeLook(QuickPanelMode::Kind mode)
{
    switch (mode) {
    case QuickPanelMode::Kind::chooseRelationSource:
        return {QStringLiteral("Link"), SystemColor::orange,
                QStringLiteral("Choose a destination item for the new relation.")};
    case QuickPanelMode::Kind::backlinks:
        return {QStringLiteral("Backlinks"), SystemColor::accent,
                QStringLiteral("Showing linked items for the selected link.")};
    case QuickPanelMode::Kind::search:
        return {QStringLiteral("Search"), SystemColor::accent,
                QStringLiteral("Capture the frontmost item or search saved links.")};
    case QuickPanelMode::Kind::add:
        return {QStringLiteral("Add"), SystemColor::green,
                QStringLiteral("Save a URL, file link, app link, notes, and tags.")};
    }
    return {};
}

namespace {

// A hint's key in the panel's own key map, where Ctrl stands for Command.
QString ctrl(const QString& key)
{
    return keyCombinationText(KeyModifier::ctrl, key);
}

const QString hintGap = QStringLiteral("   ");

} // namespace

QStringList quickPanelFooterHints(const QuickPanelViewModel& model)
{
    const QString enter = KeyName::returnKey;
    const QString esc = KeyName::escape;
    if (model.state().awaitingSoloCaptureDismiss())
        return {enter + QStringLiteral(" or ") + esc + QStringLiteral(" Close")};
    if (model.state().mode().is(QuickPanelMode::Kind::chooseRelationSource))
        return QStringList({QStringLiteral("Scroll · Click destination"), QStringLiteral("Double-click link"),
                            enter + QStringLiteral(" Link"), esc + QStringLiteral(" Close")});
    const std::optional<PanelResult> selected = model.state().selectedResult();
    if (selected && selected->kind() == PanelResult::Kind::capture)
        return QStringList({QStringLiteral("Scroll · Double-click add"),
                            enter + QStringLiteral(" Add this item"), esc + QStringLiteral(" Cancel")});
    if (selected && selected->kind() == PanelResult::Kind::fileMatch)
        return QStringList({QStringLiteral("Scroll · Double-click confirm"),
                            enter + QStringLiteral(" Confirm this file"), esc + QStringLiteral(" Cancel")});
    if (model.commands().canRemoveRelation())
        return QStringList({QStringLiteral("Scroll · Double-click open"), QStringLiteral("Right-click menu"),
                            keyCombinationText(KeyModifier::ctrl | KeyModifier::shift, KeyName::backspace) +
                                QStringLiteral(" Remove relation"),
                            ctrl(QStringLiteral("K")) + QStringLiteral(" Link"),
                            ctrl(QStringLiteral("B")) + QStringLiteral(" Backlinks"),
                            ctrl(KeyName::backspace) + QStringLiteral(" Delete")});
    return QStringList({QStringLiteral("Scroll · Click · Double-click open"),
                        ctrl(QStringLiteral("N")) + QStringLiteral(" Add"),
                        ctrl(QStringLiteral("K")) + QStringLiteral(" Link"),
                        ctrl(QStringLiteral("B")) + QStringLiteral(" Backlinks"),
                        ctrl(QStringLiteral("C")) + QStringLiteral(" Copy"),
                        ctrl(enter) + QStringLiteral(" More"),
                        ctrl(KeyName::backspace) + QStringLiteral(" Delete")});
}

QuickPanelBand::QuickPanelBand(AppearanceColor fill, Edge hairline, const AppearanceService* appearance,
                               QWidget* parent)
    : QWidget(parent)
    , m_fill(fill)
    , m_hairline(hairline)
    , m_appearance(appearance)
{
}

void QuickPanelBand::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), paintColor(m_fill, m_appearance));
    const QColor line = paintColor(SharedColors::hairline, m_appearance);
    if (m_hairline == Edge::top)
        painter.fillRect(QRect(0, 0, width(), 1), line);
    else if (m_hairline == Edge::bottom)
        painter.fillRect(QRect(0, height() - 1, width(), 1), line);
}

QuickPanelGlyph::QuickPanelGlyph(Glyph glyph, SystemColor color, QSize frame, double glyphSize,
                                 const AppearanceService* appearance, QWidget* parent)
    : QWidget(parent)
    , m_glyph(glyph)
    , m_color(color)
    , m_glyphSize(glyphSize)
    , m_appearance(appearance)
{
    setFixedSize(frame);
}

void QuickPanelGlyph::setDisc(SystemColor color)
{
    m_disc = color;
    update();
}

void QuickPanelGlyph::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor ink = paintColor(m_color, m_appearance);
    if (m_disc) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(paintColor(*m_disc, m_appearance));
        painter.drawEllipse(QRectF(rect()));
        ink = Qt::white;
    }
    const QPointF centre = QRectF(rect()).center();
    paintGlyph(painter, m_glyph,
               QRectF(centre.x() - m_glyphSize / 2, centre.y() - m_glyphSize / 2, m_glyphSize, m_glyphSize),
               ink);
}

QuickPanelText::QuickPanelText(QFont font, SystemColor ink, const AppearanceService* appearance,
                               QWidget* parent)
    : QLabel(parent)
    , m_ink(ink)
    , m_appearance(appearance)
{
    setTextFormat(Qt::PlainText);
    setFont(font);
    setForegroundRole(QPalette::WindowText);
    // Inked now: the first paint would otherwise change the palette, which asks for another paint.
    applyInk();
}

// The ink follows the appearance; the palette is only touched when it differs, so that painting does not
// ask for another paint.
void QuickPanelText::applyInk()
{
    const QColor ink = paintColor(m_ink, m_appearance);
    if (palette().color(QPalette::WindowText) != ink) {
        QPalette inked = palette();
        inked.setColor(QPalette::WindowText, ink);
        setPalette(inked);
    }
}

void QuickPanelText::setLineLimit(int lines)
{
    m_lineLimit = lines;
    setWordWrap(true);
    setMaximumHeight(lines * fontMetrics().lineSpacing());
    update();
}

// A text that fits is left to the label. One that does not would be cut off at the label's edges,
// mid-line or mid-word (a long title or locator has no break in it): it is wrapped anywhere and its
// last line shows that more follows.
QStringList QuickPanelText::limitedLines() const
{
    const int width = contentsRect().width();
    if (m_lineLimit <= 0 || width <= 0 || text().isEmpty())
        return {};
    // The label may have been given fewer lines than the limit: it counts one for a word it cannot break.
    const int limit = std::clamp(contentsRect().height() / fontMetrics().lineSpacing(), 1, m_lineLimit);
    const auto layOut = [&](QTextOption::WrapMode mode, const std::function<void(const QTextLine&)>& each) {
        QTextLayout layout(text(), font());
        QTextOption option;
        option.setWrapMode(mode);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            each(line);
        }
        layout.endLayout();
    };
    int needed = 0;
    bool overflows = false;
    layOut(QTextOption::WordWrap, [&](const QTextLine& line) {
        ++needed;
        overflows = overflows || line.naturalTextWidth() > width;
    });
    if (needed <= limit && !overflows)
        return {};
    QStringList lines;
    layOut(QTextOption::WrapAtWordBoundaryOrAnywhere, [&](const QTextLine& line) {
        if (lines.size() < limit - 1)
            lines.append(text().mid(line.textStart(), line.textLength()));
        else if (lines.size() == limit - 1)
            lines.append(fontMetrics().elidedText(text().mid(line.textStart()), Qt::ElideRight, width));
    });
    return lines;
}

void QuickPanelHintLine::setHints(const QStringList& hints)
{
    if (hints == m_hints)
        return;
    m_hints = hints;
    updateGeometry();
    showFittingHints();
}

QSize QuickPanelHintLine::sizeHint() const
{
    const QMargins margins = contentsMargins();
    return {fontMetrics().horizontalAdvance(m_hints.join(hintGap)) + margins.left() + margins.right(),
            QuickPanelText::sizeHint().height()};
}

QSize QuickPanelHintLine::minimumSizeHint() const
{
    return {0, QuickPanelText::minimumSizeHint().height()};
}

void QuickPanelHintLine::resizeEvent(QResizeEvent* event)
{
    QuickPanelText::resizeEvent(event);
    showFittingHints();
}

void QuickPanelHintLine::showFittingHints()
{
    const QFontMetrics metrics = fontMetrics();
    const int width = contentsRect().width();
    QString shown;
    for (const QString& hint : m_hints) {
        const QString longer = shown.isEmpty() ? hint : shown + hintGap + hint;
        if (metrics.horizontalAdvance(longer) > width)
            break;
        shown = longer;
    }
    setText(shown);
}

void QuickPanelText::paintEvent(QPaintEvent* event)
{
    applyInk();
    const QStringList lines = limitedLines();
    if (lines.isEmpty()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics = fontMetrics();
    int baseline = contentsRect().top() + metrics.ascent();
    for (const QString& line : lines) {
        painter.drawText(QPoint(contentsRect().left(), baseline), line);
        baseline += metrics.lineSpacing();
    }
}

QuickPanelModeBadge::QuickPanelModeBadge(const AppearanceService* appearance, QWidget* parent)
    : QWidget(parent)
    , m_appearance(appearance)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void QuickPanelModeBadge::setLook(const QString& text, SystemColor tint)
{
    m_text = text;
    m_tint = tint;
    updateGeometry();
    update();
}

QSize QuickPanelModeBadge::sizeHint() const
{
    const QFontMetricsF metrics(badgeFont());
    return QSizeF(metrics.horizontalAdvance(m_text) + 2 * badgePaddingX, metrics.height() + 2 * badgePaddingY)
        .toSize();
}

void QuickPanelModeBadge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor tint = paintColor(m_tint, m_appearance);
    QColor pale = tint;
    pale.setAlphaF(float(tint.alphaF() * paleTint));
    painter.setPen(Qt::NoPen);
    painter.setBrush(pale);
    painter.drawRoundedRect(QRectF(rect()), badgeRadius, badgeRadius);
    painter.setFont(badgeFont());
    painter.setPen(tint);
    painter.drawText(rect(), Qt::AlignCenter, m_text);
}

} // namespace morvane
