#include "QuickPanelWindowContent.h"

#include "quickpanel/QuickPanelViewModel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

namespace morvane {

QuickPanelWindowContent::QuickPanelWindowContent(QuickPanelViewModel& model, const AppearanceService*,
                                                 QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_search(new QLineEdit(this))
    , m_rows(new QListWidget(this))
    , m_status(new QLabel(this))
{
    m_search->setPlaceholderText(QStringLiteral("Search links"));
    m_rows->setFocusPolicy(Qt::NoFocus);
    m_status->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_rows, 1);
    layout->addWidget(m_status);
    setFocusProxy(m_search);

    connect(m_search, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_model.setQuery(text);
        m_model.reload();
    });
    connect(&m_model, &QuickPanelViewModel::queryChanged, this, [this] {
        if (m_search->text() != m_model.query())
            m_search->setText(m_model.query());
    });
    connect(m_rows, &QListWidget::itemActivated, this, [this] {
        if (m_actions.activate)
            m_actions.activate();
    });
    connect(m_rows, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            m_model.selectResult(row);
    });
    connect(&m_model, &QuickPanelViewModel::resultsChanged, this, &QuickPanelWindowContent::showRows);
    connect(&m_model, &QuickPanelViewModel::selectedIndexChanged, this, &QuickPanelWindowContent::showRows);
    for (auto signal : {&QuickPanelViewModel::messageChanged, &QuickPanelViewModel::pendingDeleteItemChanged,
                        &QuickPanelViewModel::pendingRelationDeleteChanged})
        connect(&m_model, signal, this, &QuickPanelWindowContent::showStatus);
    showRows();
    showStatus();
}

void QuickPanelWindowContent::prepareForShow()
{
    m_search->setFocus(Qt::ActiveWindowFocusReason);
}

void QuickPanelWindowContent::keyPressEvent(QKeyEvent* event)
{
    if (m_actions.handleKey && m_actions.handleKey(event))
        return;
    QWidget::keyPressEvent(event);
}

void QuickPanelWindowContent::showRows()
{
    const QSignalBlocker blocker(m_rows);
    m_rows->clear();
    for (const PanelResult& result : m_model.results())
        m_rows->addItem(result.title());
    m_rows->setCurrentRow(int(m_model.selectedIndex()));
}

void QuickPanelWindowContent::showStatus()
{
    if (m_model.pendingRelationDelete())
        m_status->setText(QStringLiteral("Remove Relation?"));
    else if (m_model.pendingDeleteItem())
        m_status->setText(QStringLiteral("Delete Link?"));
    else
        m_status->setText(m_model.message());
}

} // namespace morvane
