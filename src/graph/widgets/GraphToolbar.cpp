#include "GraphToolbar.h"

#include "GraphInks.h"

#include "GraphMenuBuilder.h"
#include "desktop/AppearanceService.h"
#include "desktop/DataText.h"
#include "desktop/Glyphs.h"
#include "desktop/PaintColors.h"
#include "desktop/SharedColors.h"
#include "desktop/TextStyle.h"
#include "graph/GraphViewModel.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

namespace morvane {

namespace {

constexpr int toolbarIconSize = 18;

} // namespace

// --- Buttons -----------------------------------------------------------------------------------------

GraphToolbarButton::GraphToolbarButton(const AppearanceService* appearance, QWidget* parent)
    : QToolButton(parent)
    , m_appearance(appearance)
{
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setIconSize(QSize(toolbarIconSize, toolbarIconSize));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    // The icon alone says that it opens a menu.
    setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
}

void GraphToolbarButton::setControl(const GraphToolbarControl& control)
{
    // Icons are drawn again only when they change: the toolbar refreshes on every layout step.
    if (m_icon != control.icon || m_destructive != control.destructive) {
        m_icon = control.icon;
        m_destructive = control.destructive;
        retint();
    }
    if (m_help != control.help) {
        m_help = control.help;
        setToolTip(toolTipText(control.help));
        setAccessibleName(control.help);
    }
    setEnabled(control.enabled);
}

void GraphToolbarButton::retint()
{
    if (m_icon)
        setIcon(glyphIcon(*m_icon, m_destructive ? GraphInks::destructive
                                                 : paintColor(SystemColor::secondaryLabel, m_appearance)));
}

// --- Chips -------------------------------------------------------------------------------------------

GraphToolbarChipView::GraphToolbarChipView(const AppearanceService* appearance, QWidget* parent)
    : QWidget(parent)
    , m_appearance(appearance)
{
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

void GraphToolbarChipView::setChip(const std::optional<GraphToolbarChip>& chip)
{
    setVisible(chip.has_value());
    if (!chip)
        return;
    const bool resized = chip->title != m_chip.title || chip->maxWidth != m_chip.maxWidth;
    m_chip = *chip;
    if (resized) {
        setMaximumWidth(int(m_chip.maxWidth));
        updateGeometry();
    }
    update();
}

QFont GraphToolbarChipView::chipFont() const
{
    QFont font = textFont(TextStyle::caption);
    font.setWeight(QFont::DemiBold);
    return font;
}

double GraphToolbarChipView::padding() const
{
    return m_chip.filled ? 8 : 0;
}

QString GraphToolbarChipView::shownTitle() const
{
    const QFontMetricsF metrics(chipFont());
    const double room = std::min<double>(width(), m_chip.maxWidth) - 2 * padding() - metrics.height() - 4;
    return metrics.elidedText(m_chip.title, Qt::ElideMiddle, std::max(room, 0.0));
}

QSize GraphToolbarChipView::sizeHint() const
{
    const QFontMetricsF metrics(chipFont());
    const double width = 2 * padding() + metrics.height() + 4 + metrics.horizontalAdvance(m_chip.title) + 1;
    return QSize(int(std::ceil(std::min(width, m_chip.maxWidth))), int(std::ceil(metrics.height() + 8)));
}

void GraphToolbarChipView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor tint = paintColor(m_chip.tint, m_appearance);
    const QRectF box = rect();
    if (m_chip.filled) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(GraphInks::faded(tint, 0.16));
        painter.drawRoundedRect(box, 6, 6);
    }
    const QFontMetricsF metrics(chipFont());
    const double glyph = metrics.height();
    paintGlyph(painter, m_chip.icon, QRectF(padding(), (box.height() - glyph) / 2, glyph, glyph), tint);
    painter.setFont(chipFont());
    painter.setPen(tint);
    const double textLeft = padding() + glyph + 4;
    painter.drawText(QRectF(textLeft, 0, box.width() - textLeft - padding(), box.height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shownTitle());
}

// --- The strip ---------------------------------------------------------------------------------------

GraphToolbar::GraphToolbar(GraphViewModel& model, GraphViewActions actions,
                           const AppearanceService* appearance, QWidget* parent)
    : QWidget(parent)
    , m_toolbar(model, std::move(actions))
    , m_appearance(appearance)
{
    setAttribute(Qt::WA_StyledBackground, false);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 10, 16, 10);
    row->setSpacing(12);

    m_icon = new QLabel(this);
    m_icon->setFixedSize(24, 24);
    m_icon->setAlignment(Qt::AlignCenter);
    row->addWidget(m_icon);

    auto* titleBlock = new QVBoxLayout;
    titleBlock->setSpacing(2);
    m_title = new QLabel(this);
    m_title->setFont(textFont(TextStyle::headline));
    m_status = new GraphStatusLine(this);
    m_status->setFont(textFont(TextStyle::caption));
    // One line: a long status is cut by the room left, rather than widening the window.
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    titleBlock->addWidget(m_title);
    titleBlock->addWidget(m_status);
    auto* titleHolder = new QWidget(this);
    titleHolder->setLayout(titleBlock);
    titleBlock->setContentsMargins(0, 0, 0, 0);
    titleHolder->setMinimumWidth(180);
    row->addWidget(titleHolder, 1);

    m_scopeButton = menuButton([this] { return m_toolbar.scopeEntries(); });
    m_filterButton = menuButton([this] { return m_toolbar.filterEntries(); });
    row->addWidget(m_scopeButton);
    row->addWidget(m_filterButton);

    m_selectionChip = new GraphToolbarChipView(appearance, this);
    m_linkButton = button(m_toolbar.linkButton());
    m_removeRelationButton = menuButton([this] { return m_toolbar.removeRelationEntries(); });
    m_openButton = button(m_toolbar.openButton());
    m_deleteButton = button(m_toolbar.deleteButton());
    m_linkingChip = new GraphToolbarChipView(appearance, this);
    m_cancelLinkingButton = button(m_toolbar.cancelLinkingButton());
    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_selectionChip, m_linkButton, m_removeRelationButton, m_openButton,
                                         m_deleteButton, m_linkingChip, m_cancelLinkingButton})
        row->addWidget(widget);

    auto* viewGroup = new QHBoxLayout;
    viewGroup->setSpacing(6);
    for (const GraphToolbarControl& control : m_toolbar.viewButtons())
        viewGroup->addWidget(button(control));
    row->addLayout(viewGroup);

    for (const auto signal : {&GraphFilters::scopeChanged, &GraphFilters::filtersChanged})
        connect(&model.filters(), signal, this, &GraphToolbar::refresh);
    for (const auto signal :
         {&GraphContent::messageChanged, &GraphContent::nodesChanged, &GraphContent::edgesChanged})
        connect(&model.content(), signal, this, &GraphToolbar::refresh);
    for (const auto signal :
         {&GraphSelection::selectedNodeIDChanged, &GraphSelection::linkingSourceNodeIDChanged})
        connect(&model.selection(), signal, this, &GraphToolbar::refresh);
    if (appearance)
        connect(appearance, &AppearanceService::appearanceChanged, this, &GraphToolbar::applyAppearance);
    applyAppearance();
    refresh();
}

void GraphStatusLine::setStatus(const QString& text)
{
    m_status = text;
    fit();
}

void GraphStatusLine::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    fit();
}

void GraphStatusLine::fit()
{
    const QString shown = fontMetrics().elidedText(m_status, Qt::ElideRight, width());
    setPlainText(*this, shown);
    setToolTip(shown == m_status ? QString() : toolTipText(m_status));
}

void GraphToolbar::applyAppearance()
{
    m_icon->setPixmap(
        glyphIcon(Glyph::connectedPoints, paintColor(SystemColor::accent, m_appearance)).pixmap(18, 18));
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, paintColor(SystemColor::label, m_appearance));
    setPalette(palette);
    QPalette secondary = palette;
    secondary.setColor(QPalette::WindowText, paintColor(SystemColor::secondaryLabel, m_appearance));
    m_status->setPalette(secondary);
    for (GraphToolbarButton* button : findChildren<GraphToolbarButton*>())
        button->retint();
}

GraphToolbarButton* GraphToolbar::button(const GraphToolbarControl& control)
{
    auto* made = new GraphToolbarButton(m_appearance, this);
    made->setControl(control);
    connect(made, &QToolButton::clicked, this, [trigger = control.trigger] {
        if (trigger)
            trigger();
    });
    return made;
}

GraphToolbarButton* GraphToolbar::menuButton(std::function<QList<GraphMenuEntry>()> entries)
{
    auto* made = new GraphToolbarButton(m_appearance, this);
    made->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(made);
    connect(menu, &QMenu::aboutToShow, this,
            [this, menu, entries = std::move(entries)] { fillGraphMenu(*menu, entries(), m_appearance); });
    made->setMenu(menu);
    return made;
}

void GraphToolbar::refresh()
{
    m_title->setText(m_toolbar.title());
    m_status->setStatus(m_toolbar.status());
    m_scopeButton->setControl(m_toolbar.scopeMenu());
    m_filterButton->setControl(m_toolbar.filterMenu());

    const auto selection = m_toolbar.selectionChip();
    const bool linking = selection && m_toolbar.offersLinking();
    m_selectionChip->setChip(selection);
    m_linkButton->setVisible(linking);
    m_removeRelationButton->setVisible(linking);
    if (linking)
        m_removeRelationButton->setControl(m_toolbar.removeRelationMenu());
    m_openButton->setVisible(selection.has_value());
    m_deleteButton->setVisible(selection.has_value());

    const auto source = m_toolbar.linkingChip();
    m_linkingChip->setChip(source);
    m_cancelLinkingButton->setVisible(source.has_value());
}

void GraphToolbar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), paintColor(SharedColors::backgroundTop, m_appearance));
    painter.fillRect(rect(), GraphInks::faded(paintColor(SharedColors::chromeFill, m_appearance), 0.18));
    painter.fillRect(QRect(0, height() - 1, width(), 1),
                     GraphInks::faded(paintColor(SharedColors::hairline, m_appearance), 0.72));
}

} // namespace morvane
