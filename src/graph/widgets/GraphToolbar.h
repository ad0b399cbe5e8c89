#pragma once

#include "graph/GraphToolbarModel.h"

#include <QLabel>
#include <QToolButton>
#include <QWidget>

#include <functional>
#include <optional>

namespace morvane {

class AppearanceService;
class GraphViewModel;

// An icon-only toolbar button with its help text. It never takes the keyboard, so Return and the
// arrows stay with the canvas.
class GraphToolbarButton : public QToolButton {
    Q_OBJECT
public:
    GraphToolbarButton(const AppearanceService* appearance, QWidget* parent);

    void setControl(const GraphToolbarControl& control);
    // Draws the icon again in the colours of the current appearance.
    void retint();

private:
    const AppearanceService* m_appearance;
    std::optional<Glyph> m_icon;
    bool m_destructive = false;
    QString m_help;
};

// A one-line label with an icon, shortened in the middle when the title is too long.
class GraphToolbarChipView : public QWidget {
    Q_OBJECT
public:
    GraphToolbarChipView(const AppearanceService* appearance, QWidget* parent);

    void setChip(const std::optional<GraphToolbarChip>& chip);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The title as drawn, shortened to the chip's width.
    QString shownTitle() const;
    QFont chipFont() const;
    double padding() const;

    const AppearanceService* m_appearance;
    GraphToolbarChip m_chip{{}, Glyph::linkPlus, SystemColor::accent};
};

// The strip across the top of the Graph window: the scope's title over the status line, the scope
// and filter menus, what can be done with the selected node, the link-mode source with its cancel
// button, and the zoom, centring and reload buttons. Menus are filled when they open.
// A one-line text that ends in an ellipsis where it does not fit, and shows itself whole as its tooltip
// then.
class GraphStatusLine : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    void setStatus(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();
    QString m_status;
};

class GraphToolbar : public QWidget {
    Q_OBJECT
public:
    // The model and the appearance service outlive the toolbar.
    GraphToolbar(GraphViewModel& model, GraphViewActions actions, const AppearanceService* appearance,
                 QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    GraphToolbarButton* button(const GraphToolbarControl& control);
    // A button that opens a menu listing `entries()` as they are when it opens.
    GraphToolbarButton* menuButton(std::function<QList<GraphMenuEntry>()> entries);
    void refresh();
    void applyAppearance();

    GraphToolbarModel m_toolbar;
    const AppearanceService* m_appearance;
    QLabel* m_icon;
    QLabel* m_title;
    GraphStatusLine* m_status;
    GraphToolbarButton* m_scopeButton;
    GraphToolbarButton* m_filterButton;
    GraphToolbarChipView* m_selectionChip;
    GraphToolbarButton* m_linkButton;
    GraphToolbarButton* m_removeRelationButton;
    GraphToolbarButton* m_openButton;
    GraphToolbarButton* m_deleteButton;
    GraphToolbarChipView* m_linkingChip;
    GraphToolbarButton* m_cancelLinkingButton;
};

} // namespace morvane
