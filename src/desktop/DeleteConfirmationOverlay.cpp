#include "DeleteConfirmationOverlay.h"

#include "AppearanceService.h"
#include "DataText.h"
#include "PaintColors.h"
#include "TextStyle.h"

#include "desktop/SharedColors.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTextLayout>

#include <cmath>

namespace morvane {

namespace {

constexpr qreal backdropOpacity = 0.22;
constexpr int cardWidth = 360;
constexpr int cardPadding = 18;
constexpr int cardSpacing = 12;
constexpr qreal cornerRadius = 8;
constexpr int shadowRadius = 18;
constexpr qreal shadowOpacity = 0.33;
constexpr int buttonSpacing = 8;
constexpr int titleLineLimit = 3;

constexpr int textWidth = cardWidth - 2 * cardPadding;

// A text broken into lines that fit the card, at word boundaries where it can and anywhere inside a
// word too long for a line. With a line limit the last allowed line ends in an ellipsis when text
// is left over. Lines are drawn as plain strings, so nothing in the data is read as markup.
struct WrappedText {
    QFont font;
    QStringList lines;

    int height() const { return int(lines.size()) * QFontMetrics(font).lineSpacing(); }

    // Returns the y just below the block.
    int paint(QPainter& painter, int left, int top, const QColor& color) const
    {
        const QFontMetrics metrics(font);
        painter.setFont(font);
        painter.setPen(color);
        for (const QString& text : lines) {
            painter.drawText(QPoint(left, top + metrics.ascent()), text);
            top += metrics.lineSpacing();
        }
        return top;
    }
};

WrappedText wrap(const QString& given, const QFont& font, int lineLimit = 0)
{
    const QString text = oneLineText(given);
    WrappedText result{font, {}};
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(textWidth);
        if (lineLimit > 0 && result.lines.size() == lineLimit - 1) {
            const QString rest = text.mid(line.textStart());
            result.lines.append(QFontMetrics(font).elidedText(rest, Qt::ElideRight, textWidth));
            break;
        }
        result.lines.append(text.mid(line.textStart(), line.textLength()));
    }
    layout.endLayout();
    if (result.lines.isEmpty())
        result.lines.append(QString()); // an empty text still takes its line
    return result;
}

struct CardTexts {
    WrappedText heading;
    WrappedText title;
    WrappedText detail;
};

CardTexts cardTexts(const QString& heading, const QString& title, const QString& detail)
{
    return {wrap(heading, textFont(TextStyle::headline)),
            wrap(title, textFont(TextStyle::subheadline), titleLineLimit),
            wrap(detail, textFont(TextStyle::caption))};
}

// A soft shadow all round the card: rounded rectangles growing outwards, each adding a little black,
// so the shade fades from half its opacity at the card's edge (as a blur of that radius gives) to
// nothing at the radius.
void paintShadow(QPainter& painter, const QRectF& card)
{
    const qreal layerOpacity = 1 - std::pow(1 - shadowOpacity / 2, 1.0 / shadowRadius);
    const QColor layer = QColor::fromRgbF(0, 0, 0, float(layerOpacity));
    for (int grow = shadowRadius; grow >= 1; --grow) {
        QPainterPath path;
        path.addRoundedRect(card.adjusted(-grow, -grow, grow, grow), cornerRadius + grow,
                            cornerRadius + grow);
        painter.fillPath(path, layer);
    }
}

} // namespace

DeleteConfirmationOverlay* DeleteConfirmationOverlay::forLink(const QString& title,
                                                              std::function<void()> onConfirm,
                                                              std::function<void()> onCancel,
                                                              const AppearanceService* appearance,
                                                              QWidget* window)
{
    return new DeleteConfirmationOverlay(
        QStringLiteral("Delete Link?"), title,
        QStringLiteral("This removes the link and all of its local relations."), std::move(onConfirm),
        std::move(onCancel), appearance, window);
}

DeleteConfirmationOverlay* DeleteConfirmationOverlay::forRelation(const QString& pair,
                                                                  std::function<void()> onConfirm,
                                                                  std::function<void()> onCancel,
                                                                  const AppearanceService* appearance,
                                                                  QWidget* window)
{
    return new DeleteConfirmationOverlay(
        QStringLiteral("Remove Relation?"), pair,
        QStringLiteral("The two links stay in your library; only the relation between them is removed."),
        std::move(onConfirm), std::move(onCancel), appearance, window);
}

void DeleteConfirmationOverlay::keepInStep(QPointer<DeleteConfirmationOverlay>& overlay, bool waiting,
                                           const std::function<DeleteConfirmationOverlay*()>& make)
{
    if (waiting && !overlay) {
        overlay = make();
        overlay->show();
    } else if (!waiting && overlay) {
        overlay->deleteLater();
        overlay = nullptr;
    }
}

DeleteConfirmationOverlay::DeleteConfirmationOverlay(QString heading, QString title, QString detail,
                                                     std::function<void()> onConfirm,
                                                     std::function<void()> onCancel,
                                                     const AppearanceService* appearance, QWidget* window)
    : QWidget(window)
    , m_heading(std::move(heading))
    , m_title(std::move(title))
    , m_detail(std::move(detail))
    , m_onConfirm(std::move(onConfirm))
    , m_onCancel(std::move(onCancel))
    , m_appearance(appearance)
    , m_cancelButton(new QPushButton(tr("Cancel"), this))
    , m_deleteButton(new QPushButton(tr("Delete"), this))
{
    setFocusPolicy(Qt::StrongFocus);
    // The overlay keeps the keyboard, so Return and Escape are its own and not a button's.
    m_cancelButton->setFocusPolicy(Qt::NoFocus);
    m_deleteButton->setFocusPolicy(Qt::NoFocus);
    m_deleteButton->setDefault(true);
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { m_onCancel(); });
    connect(m_deleteButton, &QPushButton::clicked, this, [this] { m_onConfirm(); });
    if (appearance)
        appearance->repaintOnChange(this);
    if (window) {
        window->installEventFilter(this);
        setGeometry(window->rect());
    }
    raise();
}

DeleteConfirmationOverlay::KeyAction DeleteConfirmationOverlay::actionFor(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    const bool command = modifiers == Qt::ControlModifier || modifiers == Qt::MetaModifier;
    switch (event.key()) {
    case Qt::Key_Escape:
        return modifiers == Qt::NoModifier ? KeyAction::cancel : KeyAction::none;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return modifiers == Qt::NoModifier ? KeyAction::confirm : KeyAction::none;
    case Qt::Key_Backspace:
        return command ? KeyAction::confirm : KeyAction::none;
    default:
        return KeyAction::none;
    }
}

bool DeleteConfirmationOverlay::event(QEvent* event)
{
    // A window's own shortcuts (its delete key among them) must not take the overlay's keys.
    if (event->type() == QEvent::ShortcutOverride &&
        actionFor(static_cast<QKeyEvent&>(*event)) != KeyAction::none) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

bool DeleteConfirmationOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void DeleteConfirmationOverlay::keyPressEvent(QKeyEvent* event)
{
    switch (actionFor(*event)) {
    case KeyAction::confirm:
        m_onConfirm();
        return;
    case KeyAction::cancel:
        m_onCancel();
        return;
    case KeyAction::none:
        // Other keys stop here too: the content beneath is not to be driven while the card is up.
        event->accept();
        return;
    }
}

// The backdrop swallows the pointer: nothing beneath is clicked, scrolled or dragged.
void DeleteConfirmationOverlay::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

void DeleteConfirmationOverlay::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}

void DeleteConfirmationOverlay::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}

void DeleteConfirmationOverlay::wheelEvent(QWheelEvent* event)
{
    event->accept();
}

QRect DeleteConfirmationOverlay::cardRect() const
{
    const CardTexts texts = cardTexts(m_heading, m_title, m_detail);
    const int buttonsHeight = qMax(m_cancelButton->sizeHint().height(), m_deleteButton->sizeHint().height());
    const int height = 2 * cardPadding + texts.heading.height() + texts.title.height() +
                       texts.detail.height() + buttonsHeight + 3 * cardSpacing;
    return QRect((width() - cardWidth) / 2, (this->height() - height) / 2, cardWidth, height);
}

void DeleteConfirmationOverlay::placeButtons()
{
    const QRect card = cardRect();
    const QSize deleteSize = m_deleteButton->sizeHint();
    const QSize cancelSize = m_cancelButton->sizeHint();
    const int bottom = card.bottom() + 1 - cardPadding;
    const int right = card.right() + 1 - cardPadding;
    m_deleteButton->setGeometry(
        QRect(QPoint(right - deleteSize.width(), bottom - deleteSize.height()), deleteSize));
    m_cancelButton->setGeometry(
        QRect(QPoint(m_deleteButton->x() - buttonSpacing - cancelSize.width(), bottom - cancelSize.height()),
              cancelSize));
}

void DeleteConfirmationOverlay::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeButtons();
}

void DeleteConfirmationOverlay::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    raise();
    setFocus(Qt::OtherFocusReason);
}

void DeleteConfirmationOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(0, 0, 0, float(backdropOpacity)));

    const QRect card = cardRect();
    painter.setRenderHint(QPainter::Antialiasing);
    paintShadow(painter, card);
    QPainterPath shape;
    shape.addRoundedRect(card, cornerRadius, cornerRadius);
    // Widgets cannot blur what lies beneath, so the card is its fill over the window's own
    // background: opaque, and as light or dark as the window.
    painter.fillPath(shape, paintColor(SharedColors::backgroundTop, m_appearance));
    painter.fillPath(shape, paintColor(SharedColors::cardFill, m_appearance));

    painter.setRenderHint(QPainter::TextAntialiasing);
    const CardTexts texts = cardTexts(m_heading, m_title, m_detail);
    const QColor ink = paintColor(SystemColor::label, m_appearance);
    const int left = card.left() + cardPadding;
    int top = card.top() + cardPadding;
    top = texts.heading.paint(painter, left, top, ink) + cardSpacing;
    top = texts.title.paint(painter, left, top, ink) + cardSpacing;
    texts.detail.paint(painter, left, top, paintColor(SystemColor::secondaryLabel, m_appearance));
}

} // namespace morvane
