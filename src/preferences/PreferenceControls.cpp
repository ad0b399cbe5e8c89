#include "PreferenceControls.h"

#include "PreferenceColors.h"
#include "desktop/AppearanceService.h"
#include "desktop/DataText.h"
#include "desktop/Glyphs.h"
#include "desktop/PaintColors.h"
#include "desktop/TextStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace morvane {

PreferencesTheme::PreferencesTheme(const AppearanceService* appearance, QObject* parent)
    : QObject(parent)
    , m_appearance(appearance)
{
    if (appearance)
        connect(appearance, &AppearanceService::appearanceChanged, this, [this] {
            applyAll();
            emit changed();
        });
}

void PreferencesTheme::ink(QWidget* widget, const AppearanceColor& color)
{
    m_inked.removeIf([&](const Inked& entry) { return entry.widget.isNull() || entry.widget == widget; });
    m_inked.append({widget, color});
    // The disabled group keeps the style's own dimmed ink, so a disabled control does not look live.
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, this->color(color));
        palette.setColor(group, QPalette::Text, this->color(color));
        palette.setColor(group, QPalette::ButtonText, this->color(color));
    }
    widget->setPalette(palette);
}

QColor PreferencesTheme::color(const AppearanceColor& color) const
{
    return paintColor(color, m_appearance);
}

void PreferencesTheme::applyAll()
{
    const QList<Inked> inked = m_inked;
    for (const Inked& entry : inked) {
        if (entry.widget)
            ink(entry.widget, entry.color);
    }
}

PreferenceMessage::PreferenceMessage(PreferencesTheme& theme, const QString& text, MessageStyle style,
                                     QWidget* parent)
    : QLabel(parent)
    , m_theme(theme)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setFont(textFont(TextStyle::caption));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    setMessage(text.isEmpty() ? std::nullopt : std::optional(text), style);
}

void PreferenceMessage::setMessage(const std::optional<QString>& text, MessageStyle style)
{
    m_style = style;
    setText(text.value_or(QString()));
    m_theme.ink(this, messageColor(style));
    setVisible(text.has_value());
}

void PreferenceMessage::setOutcome(const std::optional<QString>& text)
{
    setMessage(text, text ? outcomeMessageStyle(*text) : MessageStyle::secondary);
}

PreferenceCard::PreferenceCard(PreferencesTheme& theme, QWidget* parent)
    : QWidget(parent)
    , m_theme(theme)
{
    connect(&theme, &PreferencesTheme::changed, this, qOverload<>(&QWidget::update));
}

void PreferenceCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    painter.fillPath(shape, m_theme.color(PreferenceColors::textBackground));
    painter.setPen(QPen(m_theme.color(PreferenceColors::separator.withOpacity(0.55)), 1));
    painter.drawPath(shape);
}

PathLabel::PathLabel(const QString& path, QWidget* parent)
    : QLabel(parent)
    , m_path(path)
{
    setTextFormat(Qt::PlainText);
    setToolTip(toolTipText(path));
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    elide();
}

QSize PathLabel::minimumSizeHint() const
{
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")) * 3, QLabel::minimumSizeHint().height()};
}

QSize PathLabel::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(m_path), QLabel::sizeHint().height()};
}

void PathLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    elide();
}

void PathLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        elide();
}

void PathLabel::elide()
{
    const QString shown = fontMetrics().elidedText(m_path, Qt::ElideMiddle, contentsRect().width());
    if (shown != text())
        setText(shown);
}

TintedPanel::TintedPanel(PreferencesTheme& theme, const AppearanceColor& fill, qreal radius, QWidget* parent)
    : QWidget(parent)
    , m_theme(theme)
    , m_fill(fill)
    , m_radius(radius)
{
    connect(&theme, &PreferencesTheme::changed, this, qOverload<>(&QWidget::update));
}

void TintedPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), m_radius, m_radius);
    painter.fillPath(shape, m_theme.color(m_fill));
}

PreferenceGroup::PreferenceGroup(PreferencesTheme& theme, const QString& title,
                                 const AppearanceColor& titleColor, QWidget* parent)
    : QWidget(parent)
    , m_heading(new QLabel(title))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    m_heading->setTextFormat(Qt::PlainText);
    m_heading->setFont(textFont(TextStyle::headline));
    theme.ink(m_heading, titleColor);
    layout->addWidget(m_heading);

    auto* card = new PreferenceCard(theme);
    m_content = new QVBoxLayout(card);
    m_content->setContentsMargins(14, 14, 14, 14);
    m_content->setSpacing(10);
    m_content->setAlignment(Qt::AlignTop);
    layout->addWidget(card);
}

QString PreferenceGroup::title() const
{
    return m_heading->text();
}

GlyphView::GlyphView(PreferencesTheme& theme, Glyph glyph, const AppearanceColor& color, int side,
                     QWidget* parent)
    : QWidget(parent)
    , m_theme(theme)
    , m_glyph(glyph)
    , m_color(color)
{
    setFixedSize(side, side);
    connect(&theme, &PreferencesTheme::changed, this, qOverload<>(&QWidget::update));
}

void GlyphView::setGlyph(Glyph glyph, const AppearanceColor& color)
{
    m_glyph = glyph;
    m_color = color;
    update();
}

void GlyphView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height()) * 0.75;
    const QRectF box((width() - side) / 2, (height() - side) / 2, side, side);
    paintGlyph(painter, m_glyph, box, m_theme.color(m_color));
}

namespace {
constexpr int sidebarIconSide = 16;
}

SidebarButton::SidebarButton(PreferencesTheme& theme, Glyph glyph, const QString& title,
                             const AppearanceColor& tint, QWidget* parent)
    : QAbstractButton(parent)
    , m_theme(theme)
    , m_glyph(glyph)
    , m_tint(tint)
{
    setText(title);
    setCheckable(true);
    setAutoExclusive(true);
    // Like a group of radio buttons: the window lets Tab stop at the chosen entry only, and the arrow
    // keys choose its neighbours.
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&theme, &PreferencesTheme::changed, this, qOverload<>(&QWidget::update));
}

namespace {
// The room left between a button's text (or icon) and its frame on either side.
constexpr int buttonTextMargin = 12;
// Between a button's icon and its text, as the style draws them.
constexpr int buttonIconSpacing = 4;
} // namespace

QSize PreferenceButton::sizeHint() const
{
    QSize hint = QPushButton::sizeHint();
    // "&&" shows one ampersand; a single one marks the mnemonic and takes no room.
    QString shown = text();
    shown.replace(QStringLiteral("&&"), QStringLiteral("\u0001")).remove(QLatin1Char('&'));
    shown.replace(QChar(1), QLatin1Char('&'));
    int content = fontMetrics().horizontalAdvance(shown);
    if (!icon().isNull())
        content += iconSize().width() + buttonIconSpacing;
    hint.setWidth(std::max(hint.width(), content + 2 * buttonTextMargin));
    return hint;
}

QSize PreferenceButton::minimumSizeHint() const
{
    return sizeHint();
}

QSize SidebarButton::sizeHint() const
{
    const QFontMetrics metrics(systemFont(13, QFont::DemiBold));
    return {10 + sidebarIconSide + 8 + metrics.horizontalAdvance(text()) + 10,
            7 + std::max(metrics.height(), sidebarIconSide) + 7};
}

AppearanceColor SidebarButton::ink() const
{
    return isChecked() ? m_tint : PreferenceColors::primary;
}

void SidebarButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 8, 8);
    if (isChecked())
        painter.fillPath(shape, m_theme.color(m_tint.withOpacity(0.12)));
    else if (isDown())
        painter.fillPath(shape, m_theme.color(PreferenceColors::pressedFill));

    const QColor ink = m_theme.color(this->ink());
    // The ring shows once the keyboard has moved the focus, as the style's own controls do.
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        painter.setPen(QPen(m_theme.color(m_tint), 2));
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 7, 7);
    }
    const QRectF icon(10, (height() - sidebarIconSide) / 2.0, sidebarIconSide, sidebarIconSide);
    paintGlyph(painter, m_glyph, icon, ink);
    painter.setFont(systemFont(13, isChecked() ? QFont::DemiBold : QFont::Normal));
    painter.setPen(ink);
    painter.drawText(rect().adjusted(10 + sidebarIconSide + 8, 0, -10, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     text());
}

void clearRows(QLayout* layout)
{
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* row = item->widget()) {
            row->hide();
            row->setParent(nullptr);
            row->deleteLater();
        }
        delete item;
    }
}

QWidget* labelledRow(const QString& label, QWidget* value, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* caption = new QLabel(label);
    caption->setTextFormat(Qt::PlainText);
    caption->setBuddy(value);
    layout->addWidget(caption);
    layout->addWidget(value);
    layout->addStretch(1);
    return row;
}

} // namespace morvane
