#include "QuickPanelView.h"

#include "QuickPanelAddForm.h"
#include "QuickPanelChrome.h"
#include "QuickPanelResultList.h"
#include "desktop/AppearanceService.h"
#include "desktop/DeleteConfirmationOverlay.h"
#include "desktop/Glyphs.h"
#include "desktop/PaintColors.h"
#include "desktop/SharedColors.h"
#include "desktop/TextStyle.h"
#include "quickpanel/QuickPanelViewModel.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

#include <utility>

namespace morvane {

namespace {

constexpr QSize panelSize(720, 480);
constexpr int chromePadding = 18;
constexpr double fieldRadius = 8;
constexpr double focusedOutlineOpacity = 0.6;
constexpr double dismissDiscOpacity = 0.9;

// The search field's card: outlined in the accent while the field has the cursor.
class SearchFieldCard : public QWidget {
public:
    SearchFieldCard(const AppearanceService* appearance, QWidget* parent)
        : QWidget(parent)
        , m_appearance(appearance)
    {
    }
    void setField(QLineEdit* field) { m_field = field; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
            update();
        return QWidget::eventFilter(watched, event);
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor outline = paintColor(SharedColors::hairline, m_appearance);
        if (m_field && m_field->hasFocus()) {
            outline = paintColor(SystemColor::accent, m_appearance);
            outline.setAlphaF(float(focusedOutlineOpacity));
        }
        painter.setPen(QPen(outline, 1));
        painter.setBrush(paintColor(SharedColors::cardFill, m_appearance));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), fieldRadius, fieldRadius);
    }

private:
    const AppearanceService* m_appearance;
    QLineEdit* m_field = nullptr;
};

// The banner's small round close button.
class DismissButton : public QAbstractButton {
public:
    DismissButton(const AppearanceService* appearance, QWidget* parent)
        : QAbstractButton(parent)
        , m_appearance(appearance)
    {
        setFixedSize(22, 22);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor disc = paintColor(SystemColor::controlBackground, m_appearance);
        disc.setAlphaF(float(disc.alphaF() * dismissDiscOpacity));
        painter.setPen(Qt::NoPen);
        painter.setBrush(disc);
        painter.drawEllipse(QRectF(rect()));
        paintGlyph(painter, Glyph::xmark, QRectF(rect()).adjusted(6, 6, -6, -6),
                   paintColor(SystemColor::secondaryLabel, m_appearance));
    }

private:
    const AppearanceService* m_appearance;
};

QFont withWeight(QFont font, QFont::Weight weight)
{
    font.setWeight(weight);
    return font;
}

} // namespace

QuickPanelView::QuickPanelView(QuickPanelViewModel& model, const AppearanceService* appearance,
                               QuickPanelViewActions actions, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_appearance(appearance)
    , m_actions(std::move(actions))
{
    setFixedSize(panelSize);
    // Clicks on rows, the banner or the background must leave the typing in the search field: a
    // click gives the focus to the nearest ancestor that takes it, and that must not be the panel.
    setFocusPolicy(Qt::NoFocus);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildHeader());

    m_addForm = new QuickPanelAddForm(m_model, appearance, this);
    column->addWidget(m_addForm);

    m_listBody = new QWidget(this);
    auto* body = new QVBoxLayout(m_listBody);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(buildBanner());
    m_list = new QuickPanelResultList(
        m_model, appearance,
        [this] {
            if (m_actions.activate)
                m_actions.activate();
        },
        m_listBody);
    body->addWidget(m_list, 1);
    body->addWidget(buildFooter());
    column->addWidget(m_listBody, 1);

    column->addWidget(buildMessageBar());
    // In add mode the message sits right under the form; the room left goes below it.
    m_addTail = new QWidget(this);
    m_addTail->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    column->addWidget(m_addTail, 1);

    auto* settings = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), this);
    settings->setContext(Qt::WidgetWithChildrenShortcut);
    connect(settings, &QShortcut::activated, this, [this] {
        if (m_actions.openSettings)
            m_actions.openSettings();
    });

    const QuickPanelState* state = &m_model.state();
    connect(&m_model.search(), &QuickPanelSearch::queryChanged, this, &QuickPanelView::queryChanged);
    connect(state, &QuickPanelState::modeChanged, this, &QuickPanelView::modeChanged);
    for (auto footerInput : {&QuickPanelState::resultsChanged, &QuickPanelState::selectedIndexChanged,
                             &QuickPanelState::modeChanged, &QuickPanelState::linkedItemsChanged,
                             &QuickPanelState::awaitingSoloCaptureDismissChanged})
        connect(state, footerInput, this, &QuickPanelView::showFooter);
    for (auto messageInput : {&QuickPanelState::messageChanged, &QuickPanelState::modeChanged})
        connect(state, messageInput, this, &QuickPanelView::showMessage);
    connect(&m_model.tips(), &QuickPanelTips::tipsChanged, this, &QuickPanelView::showMessage);
    connect(&m_model.commands(), &QuickPanelCommands::pendingDeleteItemChanged, this,
            &QuickPanelView::syncOverlays);
    connect(&m_model.commands(), &QuickPanelCommands::pendingRelationDeleteChanged, this,
            &QuickPanelView::syncOverlays);
    if (appearance)
        appearance->repaintOnChange(this);

    m_searchField->setText(m_model.search().query());
    showMode();
    showFooter();
    showMessage();
    syncOverlays();
}

QuickPanelView::~QuickPanelView() = default;

QWidget* QuickPanelView::buildHeader()
{
    auto* header =
        new QuickPanelBand(SharedColors::chromeFill, QuickPanelBand::Edge::bottom, m_appearance, this);
    auto* column = new QVBoxLayout(header);
    column->setContentsMargins(chromePadding, chromePadding, chromePadding, chromePadding);
    column->setSpacing(10);

    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(12);
    titleRow->addWidget(
        new QuickPanelGlyph(Glyph::chainLink, SystemColor::accent, QSize(32, 32), 22, m_appearance, header));
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto* nameRow = new QHBoxLayout;
    nameRow->setSpacing(8);
    auto* name = new QuickPanelText(textFont(TextStyle::headline), SystemColor::label, m_appearance, header);
    name->setText(QStringLiteral("Morvane"));
    m_modeBadge = new QuickPanelModeBadge(m_appearance, header);
    nameRow->addWidget(name);
    nameRow->addWidget(m_modeBadge, 0, Qt::AlignVCenter);
    nameRow->addStretch(1);
    m_modeSubtitle =
        new QuickPanelText(textFont(TextStyle::caption), SystemColor::secondaryLabel, m_appearance, header);
    titles->addLayout(nameRow);
    titles->addWidget(m_modeSubtitle);
    titleRow->addLayout(titles, 1);

    auto* menuButton = new QToolButton(header);
    menuButton->setIconSize(QSize(20, 20));
    menuButton->setAutoRaise(true);
    menuButton->setFocusPolicy(Qt::NoFocus);
    menuButton->setToolTip(QStringLiteral("Morvane Menu"));
    auto* menu = new QMenu(menuButton);
    QAction* addLink =
        menu->addAction(QStringLiteral("Add Link"), this, [this] { m_model.newLink().begin(); });
    menu->addSeparator();
    QAction* settings = menu->addAction(QStringLiteral("Settings..."), this, [this] {
        if (m_actions.openSettings)
            m_actions.openSettings();
    });
    QAction* about = menu->addAction(QStringLiteral("About Morvane"), this, [this] {
        if (m_actions.showAbout)
            m_actions.showAbout();
    });
    // The key map and the view's own shortcut do the work; the menu only shows the keys.
    for (auto [action, keys] : {std::pair(addLink, QKeySequence(Qt::CTRL | Qt::Key_N)),
                                std::pair(settings, QKeySequence(Qt::CTRL | Qt::Key_Comma))}) {
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
    }
    // Icons are pictures in one ink, so they are drawn again when the appearance changes.
    const auto tintIcons = [this, menuButton, addLink, settings, about] {
        const QColor secondary = paintColor(SystemColor::secondaryLabel, m_appearance);
        menuButton->setIcon(glyphIcon(Glyph::ellipsis, secondary));
        addLink->setIcon(glyphIcon(Glyph::plus, secondary));
        settings->setIcon(glyphIcon(Glyph::gear, secondary));
        about->setIcon(glyphIcon(Glyph::info, secondary));
    };
    tintIcons();
    if (m_appearance)
        connect(m_appearance, &AppearanceService::appearanceChanged, menuButton, tintIcons);
    // Popped up by hand rather than as the button's menu, which would draw an arrow beside the glyph.
    connect(menuButton, &QToolButton::clicked, menu,
            [menuButton, menu] { menu->popup(menuButton->mapToGlobal(QPoint(0, menuButton->height()))); });
    titleRow->addWidget(menuButton, 0, Qt::AlignVCenter);

    column->addLayout(titleRow);
    column->addWidget(buildSearchField());
    return header;
}

QWidget* QuickPanelView::buildSearchField()
{
    auto* card = new SearchFieldCard(m_appearance, this);
    auto* row = new QHBoxLayout(card);
    row->setContentsMargins(12, 10, 12, 10);
    row->setSpacing(10);
    row->addWidget(new QuickPanelGlyph(Glyph::magnifier, SystemColor::secondaryLabel, QSize(20, 20), 18,
                                       m_appearance, card));
    m_searchField = new QLineEdit(card);
    m_searchField->setFrame(false);
    m_searchField->setFont(systemFont(21, QFont::Medium));
    m_searchField->setPlaceholderText(QStringLiteral("Search links or use the current context"));
    // The field is drawn on our card, so its ink follows our appearance, not the desktop's palette:
    // a dark card under a light palette would otherwise show black text on it.
    const auto inkField = [field = m_searchField, appearance = m_appearance] {
        QPalette inked = field->palette();
        inked.setColor(QPalette::Base, Qt::transparent);
        inked.setColor(QPalette::Text, paintColor(SystemColor::label, appearance));
        inked.setColor(QPalette::PlaceholderText, paintColor(SystemColor::tertiaryLabel, appearance));
        field->setPalette(inked);
    };
    inkField();
    if (m_appearance)
        connect(m_appearance, &AppearanceService::appearanceChanged, m_searchField, inkField);
    m_searchField->installEventFilter(card); // repaint the outline as the cursor comes and goes
    card->setField(m_searchField);
    row->addWidget(m_searchField, 1);
    connect(m_searchField, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_model.search().setQuery(text); });
    return card;
}

QWidget* QuickPanelView::buildBanner()
{
    auto* banner =
        new QuickPanelBand(SharedColors::accentWash, QuickPanelBand::Edge::bottom, m_appearance, this);
    auto* row = new QHBoxLayout(banner);
    row->setContentsMargins(chromePadding, 11, chromePadding, 11);
    row->setSpacing(12);
    auto* icon =
        new QuickPanelGlyph(Glyph::returnKey, SystemColor::accent, QSize(28, 28), 14, m_appearance, banner);
    icon->setDisc(SystemColor::accent);
    m_bannerText = new QuickPanelText(withWeight(textFont(TextStyle::subheadline), QFont::Medium),
                                      SystemColor::label, m_appearance, banner);
    m_bannerText->setWordWrap(true);
    m_bannerText->setObjectName(QStringLiteral("bannerText"));
    auto* dismiss = new DismissButton(m_appearance, banner);
    dismiss->setObjectName(QStringLiteral("dismissTip"));
    dismiss->setToolTip(QStringLiteral("Dismiss this instruction"));
    connect(dismiss, &QAbstractButton::clicked, this, [this] { m_model.tips().dismissCurrentTip(); });
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(m_bannerText, 1, Qt::AlignTop);
    row->addWidget(dismiss, 0, Qt::AlignTop);
    banner->setObjectName(QStringLiteral("banner"));
    m_banner = banner;
    return banner;
}

QWidget* QuickPanelView::buildFooter()
{
    auto* footer =
        new QuickPanelBand(SharedColors::chromeFill, QuickPanelBand::Edge::top, m_appearance, this);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(chromePadding, 10, chromePadding, 10);

    m_linkCount = new QWidget(footer);
    auto* count = new QHBoxLayout(m_linkCount);
    count->setContentsMargins(0, 0, 0, 0);
    count->setSpacing(4);
    count->addWidget(new QuickPanelGlyph(Glyph::chainLink, SystemColor::secondaryLabel, QSize(12, 12), 11,
                                         m_appearance, m_linkCount));
    m_linkCountText = new QuickPanelText(withWeight(textFont(TextStyle::caption), QFont::Medium),
                                         SystemColor::secondaryLabel, m_appearance, m_linkCount);
    count->addWidget(m_linkCountText);

    m_footerHint = new QuickPanelHintLine(textFont(TextStyle::caption), SystemColor::secondaryLabel,
                                          m_appearance, footer);
    m_footerHint->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_linkCountText->setObjectName(QStringLiteral("linkCount"));
    m_footerHint->setObjectName(QStringLiteral("footerHint"));
    row->addWidget(m_linkCount);
    row->addStretch(1);
    row->addWidget(m_footerHint);
    return footer;
}

QWidget* QuickPanelView::buildMessageBar()
{
    m_messageBar = new QWidget(this);
    auto* row = new QHBoxLayout(m_messageBar);
    row->setContentsMargins(chromePadding, 8, chromePadding, 8);
    row->setSpacing(8);
    row->addWidget(new QuickPanelGlyph(Glyph::info, SystemColor::secondaryLabel, QSize(14, 14), 13,
                                       m_appearance, m_messageBar),
                   0, Qt::AlignVCenter);
    m_messageText = new QuickPanelText(textFont(TextStyle::caption), SystemColor::secondaryLabel,
                                       m_appearance, m_messageBar);
    m_messageText->setLineLimit(2);
    m_messageText->setObjectName(QStringLiteral("messageText"));
    row->addWidget(m_messageText, 1);
    return m_messageBar;
}

void QuickPanelView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient background(0, 0, 0, height());
    background.setColorAt(0, paintColor(SharedColors::backgroundTop, m_appearance));
    background.setColorAt(1, paintColor(SharedColors::backgroundBottom, m_appearance));
    painter.fillRect(rect(), background);
}

void QuickPanelView::keyPressEvent(QKeyEvent* event)
{
    if (m_actions.handleKey && m_actions.handleKey(event)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void QuickPanelView::prepareForShow()
{
    if (m_model.state().mode().is(QuickPanelMode::Kind::add))
        m_addForm->focusFirstField();
    else
        focusSearchField();
}

// The field follows a query written elsewhere (the commands clear it); the model reloads for it.
void QuickPanelView::queryChanged()
{
    if (m_searchField->text() != m_model.search().query())
        m_searchField->setText(m_model.search().query());
}

void QuickPanelView::modeChanged()
{
    showMode();
    if (m_model.state().mode().is(QuickPanelMode::Kind::add)) {
        m_searchField->clearFocus();
        m_addForm->focusFirstField();
    } else {
        // After the switch has been laid out, as the hidden form may still hold the cursor.
        QTimer::singleShot(0, this, &QuickPanelView::focusSearchField);
    }
}

void QuickPanelView::showMode()
{
    const QuickPanelMode::Kind mode = m_model.state().mode().kind();
    const QuickPanelModeLook look = quickPanelModeLook(mode);
    m_modeBadge->setLook(look.badge, look.tint);
    m_modeSubtitle->setText(look.subtitle);
    const bool adding = mode == QuickPanelMode::Kind::add;
    m_addForm->setVisible(adding);
    m_addTail->setVisible(adding);
    m_listBody->setVisible(!adding);
}

void QuickPanelView::showFooter()
{
    const std::optional<PanelResult> selected = m_model.state().selectedResult();
    const std::optional<LinkItem> link = selected ? selected->linkItem() : std::nullopt;
    // The text first: shown with the text it had, the count would be laid out at that text's width and
    // then again at its own.
    if (link)
        m_linkCountText->setText(QStringLiteral("%1 linked").arg(link->linkedItemCount));
    m_linkCount->setVisible(link.has_value());
    m_footerHint->setHints(quickPanelFooterHints(m_model));
}

// A message that the instruction banner shows is not repeated in the bar below.
void QuickPanelView::showMessage()
{
    const bool banner =
        m_model.tips().showsTipBanner() && !m_model.state().mode().is(QuickPanelMode::Kind::add);
    m_banner->setVisible(banner);
    m_bannerText->setText(banner ? m_model.state().message() : QString());
    const bool bar = !m_model.state().message().isEmpty() && !m_model.tips().showsTipBanner();
    m_messageBar->setVisible(bar);
    m_messageText->setText(bar ? m_model.state().message() : QString());
}

void QuickPanelView::focusSearchField()
{
    if (!m_model.state().mode().is(QuickPanelMode::Kind::add))
        m_searchField->setFocus(Qt::OtherFocusReason);
}

// The cards cover the whole panel; the relation card stands above the delete card when both wait.
void QuickPanelView::syncOverlays()
{
    const auto& pendingItem = m_model.commands().pendingDeleteItem();
    DeleteConfirmationOverlay::keepInStep(m_deleteOverlay, pendingItem.has_value(), [&] {
        return DeleteConfirmationOverlay::forLink(
            pendingItem->title, [this] { m_model.commands().confirmDelete(); },
            [this] { m_model.commands().cancelDelete(); }, m_appearance, this);
    });
    const auto& pendingRelation = m_model.commands().pendingRelationDelete();
    DeleteConfirmationOverlay::keepInStep(m_relationOverlay, pendingRelation.has_value(), [&] {
        return DeleteConfirmationOverlay::forRelation(
            pendingRelation->source.title + QStringLiteral(" ↔ ") + pendingRelation->target.title,
            [this] { m_model.commands().confirmRemoveRelation(); },
            [this] { m_model.commands().cancelRemoveRelation(); }, m_appearance, this);
    });
    if (m_relationOverlay)
        m_relationOverlay->raise();
    if (!m_deleteOverlay && !m_relationOverlay && isVisible())
        prepareForShow();
}

} // namespace morvane
