#include "PreferencesWindow.h"

#include "PreferenceColors.h"
#include "PreferenceControls.h"
#include "desktop/TextStyle.h"
#include "files/KnownRootsStore.h"
#include "platform/AlertPresenter.h"
#include "services/PreferencesStore.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

namespace morvane {

namespace {
constexpr QSize windowSize{760, 620};
constexpr int sidebarWidth = 184;
// Room left around the window on a small screen for the window manager's title bar and borders.
constexpr QSize frameAllowance{16, 40};
// Below this the sidebar and the page no longer fit side by side.
constexpr QSize minimumFittedSize{480, 320};

// Scrolling the page must not change a setting: a pop-up list, a slider or a number field the
// pointer passes over while the wheel turns leaves the wheel to the page unless the user chose it
// (clicked or tabbed into it) first.
class PageWheelGuard : public QObject {
public:
    PageWheelGuard(QScrollArea& page, QObject* parent)
        : QObject(parent)
        , m_page(page)
    {
    }

    void guard(QWidget& content)
    {
        for (QWidget* control : content.findChildren<QWidget*>()) {
            if (qobject_cast<QComboBox*>(control) || qobject_cast<QAbstractSlider*>(control) ||
                qobject_cast<QAbstractSpinBox*>(control)) {
                control->setFocusPolicy(Qt::StrongFocus);
                control->installEventFilter(this);
            }
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Wheel || static_cast<QWidget*>(watched)->hasFocus())
            return false;
        QCoreApplication::sendEvent(m_page.viewport(), event);
        return true;
    }

private:
    QScrollArea& m_page;
};

// The sidebar's own background, painted so that it follows the appearance.
class SidebarPanel : public QWidget {
public:
    explicit SidebarPanel(PreferencesTheme& theme)
        : m_theme(theme)
    {
        connect(&theme, &PreferencesTheme::changed, this, qOverload<>(&QWidget::update));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), m_theme.color(PreferenceColors::sidebarFill));
    }

private:
    PreferencesTheme& m_theme;
};
} // namespace

PreferencesWindow::PreferencesWindow(PreferencesWindowServices services, QWidget* parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_knownRoots(std::make_unique<KnownRootsStore>(m_services.defaults))
    , m_theme(new PreferencesTheme(m_services.appearance, this))
{
    setWindowTitle(QStringLiteral("Morvane Preferences"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFixedSize(windowSize);

    m_context = makeContext();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeSidebar());
    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::VLine);
    divider->setFrameShadow(QFrame::Plain);
    layout->addWidget(divider);
    layout->addWidget(makeDetail(), 1);

    selectSection(PreferenceSection::general);
}

PreferencesWindow::~PreferencesWindow() = default;

std::unique_ptr<SectionContext> PreferencesWindow::makeContext()
{
    PreferencesStore& preferences = m_services.preferences;
    return std::make_unique<SectionContext>(SectionContext{
        preferences.settings(),
        preferences.hotkeys(),
        preferences.access(),
        preferences.sync(),
        preferences.databaseAction(),
        preferences.maintenance(),
        preferences.quickPanelTipStore(),
        m_services.updater,
        *m_knownRoots,
        *m_theme,
        *m_services.fileDialogs,
        *m_services.alerts,
        m_services.desktop.get(),
        m_services.accessibility.get(),
        [this] { confirmEraseAllData(); },
        m_services.shortcutsPortal.get(),
    });
}

// The scrolling pane right of the sidebar: the chosen page's header above every page, one shown.
QWidget* PreferencesWindow::makeDetail()
{
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* detail = new QWidget;
    // Its wrapped texts make the layout's minimum height that of the narrowest possible page, which the
    // scroll area would honour and leave as an empty stretch below the content: the page's height is
    // the one its texts need at the pane's width.
    detail->setMinimumSize(1, 1);
    auto* column = new QVBoxLayout(detail);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);
    column->addLayout(makeHeader());
    addPages(*column);
    column->addStretch(1);
    (new PageWheelGuard(*scroll, this))->guard(*detail);
    scroll->setWidget(detail);
    return scroll;
}

QLayout* PreferencesWindow::makeHeader()
{
    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    header->setContentsMargins(0, 0, 0, 2);
    m_headerGlyph = new GlyphView(*m_theme, Glyph::gear, PreferenceColors::accent, 32);
    header->addWidget(m_headerGlyph);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(3);
    m_headerTitle = new QLabel;
    m_headerTitle->setFont(systemFont(22, QFont::DemiBold));
    m_headerSubtitle = new QLabel;
    m_headerSubtitle->setFont(systemFont(12));
    m_theme->ink(m_headerSubtitle, PreferenceColors::secondary);
    titles->addWidget(m_headerTitle);
    titles->addWidget(m_headerSubtitle);
    header->addLayout(titles, 1);
    return header;
}

void PreferencesWindow::addPages(QVBoxLayout& column)
{
    using Make = QWidget* (*)(SectionContext&);
    const std::pair<PreferenceSection, Make> pages[] = {
        {PreferenceSection::general, &makeGeneralSection},
        {PreferenceSection::keyboard, &makeKeyboardSection},
        {PreferenceSection::sync, &makeSyncSection},
        {PreferenceSection::files, &makeFilesSection},
        {PreferenceSection::updates, &makeUpdatesSection},
        {PreferenceSection::about, &makeAboutSection},
        {PreferenceSection::advanced, &makeAdvancedSection},
    };
    for (const auto& [section, make] : pages) {
        QWidget* page = make(*m_context);
        page->setObjectName(rawValue(section));
        m_pages[section] = page;
        column.addWidget(page);
    }
}

QWidget* PreferencesWindow::makeSidebar()
{
    auto* sidebar = new SidebarPanel(*m_theme);
    sidebar->setFixedWidth(sidebarWidth);
    auto* layout = new QVBoxLayout(sidebar);
    layout->setContentsMargins(12, 0, 12, 12);
    layout->setSpacing(8);
    auto* heading = new QLabel(QStringLiteral("Settings"));
    heading->setFont(systemFont(15, QFont::DemiBold));
    heading->setContentsMargins(0, 18, 0, 8);
    layout->addWidget(heading);
    for (PreferenceSection section : allPreferenceSections) {
        const PreferenceSectionPresentation shown = presentation(section);
        auto* button = new SidebarButton(*m_theme, shown.glyph, shown.title, shown.tint);
        connect(button, &QAbstractButton::clicked, this, [this, section] { selectSection(section); });
        m_sidebarButtons[section] = button;
        layout->addWidget(button);
    }
    layout->addStretch(1);
    return sidebar;
}

void PreferencesWindow::selectSection(PreferenceSection section)
{
    m_selected = section;
    for (const auto& [each, page] : m_pages)
        page->setVisible(each == section);
    // A click does not take the focus; when the sidebar had it, it goes with the chosen entry.
    bool sidebarFocused = false;
    for (const auto& [each, button] : m_sidebarButtons) {
        sidebarFocused = sidebarFocused || button->hasFocus();
        button->setFocusPolicy(each == section ? Qt::TabFocus : Qt::NoFocus);
    }
    m_sidebarButtons.at(section)->setChecked(true);
    if (sidebarFocused)
        m_sidebarButtons.at(section)->setFocus(Qt::OtherFocusReason);
    const PreferenceSectionPresentation shown = presentation(section);
    m_headerGlyph->setGlyph(shown.glyph, shown.tint);
    m_headerTitle->setText(shown.title);
    m_headerSubtitle->setText(shown.subtitle);
}

// A screen lower or narrower than the window would leave its title bar or its foot out of reach, and
// the window cannot be resized: there it takes the room the screen has, and the page scrolls.
void PreferencesWindow::showEvent(QShowEvent* event)
{
    if (const QScreen* shown = screen()) {
        const QSize room = shown->availableGeometry().size() - frameAllowance;
        setFixedSize(windowSize.boundedTo(room).expandedTo(minimumFittedSize));
    }
    QWidget::showEvent(event);
}

// Rows made after the window was built (known roots, repair issues) join the end of the Tab chain,
// behind controls shown below them. Before each Tab the chain is laid again in the order of the
// widget tree, which is the order the pages show their controls in.
bool PreferencesWindow::focusNextPrevChild(bool next)
{
    QWidget* previous = nullptr;
    for (QWidget* control : findChildren<QWidget*>()) {
        // A pop-up list's own window is a child of its control, and has a chain of its own.
        if (!(control->focusPolicy() & Qt::TabFocus) || control->window() != this)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
    return QWidget::focusNextPrevChild(next);
}

QWidget* PreferencesWindow::sectionPage(PreferenceSection section) const
{
    return m_pages.at(section);
}

void PreferencesWindow::confirmEraseAllData()
{
    Alert alert;
    alert.style = Alert::Style::warning;
    alert.messageText = QStringLiteral("Erase all Morvane data?");
    alert.informativeText = QStringLiteral(
        "This permanently removes every link, relation, tag, and local file match from Morvane. When sync "
        "is on, the shared record folder is emptied too and your other computers wipe on their next "
        "sync. This cannot be undone.");
    alert.buttons = {QStringLiteral("Erase Everything"), QStringLiteral("Cancel")};
    alert.destructive = true;
    if (m_services.alerts->present(alert) == 0)
        m_services.preferences.sync().eraseAllData();
}

} // namespace morvane
