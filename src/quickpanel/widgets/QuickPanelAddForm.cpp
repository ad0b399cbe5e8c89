#include "QuickPanelAddForm.h"

#include "QuickPanelChrome.h"
#include "desktop/AppearanceService.h"
#include "desktop/Glyphs.h"
#include "desktop/PaintColors.h"
#include "desktop/SharedColors.h"
#include "desktop/TextStyle.h"
#include "quickpanel/QuickPanelViewModel.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace morvane {

namespace {

constexpr int outerPadding = 18;
constexpr int cardPadding = 22;
constexpr int cardSpacing = 14;
constexpr int fieldSpacing = 10;
constexpr double cardRadius = 8;
constexpr int notesMaxLines = 3;

// The card behind the form's content: the text background colour with a separator outline.
class FormCard : public QWidget {
public:
    FormCard(const AppearanceService* appearance, QWidget* parent)
        : QWidget(parent)
        , m_appearance(appearance)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(paintColor(SharedColors::hairline, m_appearance), 1));
        painter.setBrush(paintColor(SystemColor::controlBackground, m_appearance));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cardRadius, cardRadius);
    }

private:
    const AppearanceService* m_appearance;
};

bool isReturn(const QKeyEvent& event)
{
    return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
}

} // namespace

QuickPanelAddForm::QuickPanelAddForm(QuickPanelViewModel& model, const AppearanceService* appearance,
                                     QWidget* parent)
    : QWidget(parent)
    , m_model(model)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(outerPadding, outerPadding, outerPadding, outerPadding);
    outer->setSpacing(0);
    auto* card = new FormCard(appearance, this);
    outer->addWidget(card);
    outer->addStretch(1);

    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(cardPadding, cardPadding, cardPadding, cardPadding);
    column->setSpacing(cardSpacing);

    QFont headingFont = textFont(TextStyle::title3);
    headingFont.setWeight(QFont::DemiBold);
    auto* heading = new QuickPanelText(headingFont, SystemColor::label, appearance, card);
    heading->setText(QStringLiteral("Add Link"));
    column->addWidget(heading);

    auto* fields = new QVBoxLayout;
    fields->setSpacing(fieldSpacing);
    column->addLayout(fields);
    m_title = addLineField(QStringLiteral("Title"), &QuickPanelNewLink::setTitle);
    m_locator = addLineField(
        QStringLiteral(
            "https://, file://, obsidian://, x-devonthink-item://, x-fantastical://, morvane-calendar://"),
        &QuickPanelNewLink::setLocator);
    m_notes = new QPlainTextEdit(this);
    m_notes->setPlaceholderText(QStringLiteral("Notes"));
    m_notes->setTabChangesFocus(true);
    m_notes->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_notes->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_notes->installEventFilter(this);
    m_tags = addLineField(QStringLiteral("Tags, comma separated"), &QuickPanelNewLink::setTags);
    fields->addWidget(m_title);
    fields->addWidget(m_locator);
    fields->addWidget(m_notes);
    fields->addWidget(m_tags);

    auto* footer = new QHBoxLayout;
    auto* hint =
        new QuickPanelText(textFont(TextStyle::caption), SystemColor::secondaryLabel, appearance, card);
    hint->setText(QStringLiteral("Return saves. Escape cancels."));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), card);
    auto* saveButton = new QPushButton(QStringLiteral("Save"), card);
    // The button is the desktop's own control: its mark takes the button's ink, as its title does.
    const auto tintSave = [saveButton] {
        saveButton->setIcon(glyphIcon(Glyph::checkmark, saveButton->palette().color(QPalette::ButtonText)));
    };
    tintSave();
    if (appearance)
        connect(appearance, &AppearanceService::appearanceChanged, saveButton, tintSave);
    for (QPushButton* button : {cancel, saveButton}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::TabFocus);
    }
    footer->addWidget(hint, 0, Qt::AlignVCenter);
    footer->addStretch(1);
    footer->addWidget(cancel);
    footer->addWidget(saveButton);
    column->addLayout(footer);

    connect(cancel, &QPushButton::clicked, this, [this] { m_model.reset(); });
    connect(saveButton, &QPushButton::clicked, this, &QuickPanelAddForm::save);
    connect(m_notes, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = m_notes->toPlainText();
        if (text != m_model.newLink().notes())
            m_model.newLink().setNotes(text);
    });
    connect(m_notes->document(), &QTextDocument::contentsChanged, this, &QuickPanelAddForm::fitNotesHeight);
    for (auto changed : {&QuickPanelNewLink::titleChanged, &QuickPanelNewLink::locatorChanged,
                         &QuickPanelNewLink::notesChanged, &QuickPanelNewLink::tagsChanged})
        connect(&m_model.newLink(), changed, this, &QuickPanelAddForm::showModelText);

    showModelText();
    fitNotesHeight();
}

QLineEdit* QuickPanelAddForm::addLineField(const QString& placeholder,
                                           void (QuickPanelNewLink::*write)(const QString&))
{
    auto* field = new QLineEdit(this);
    field->setPlaceholderText(placeholder);
    field->installEventFilter(this);
    // Only the user's edits go to the model; text the model wrote comes back through showModelText.
    connect(field, &QLineEdit::textEdited, this,
            [this, write](const QString& text) { (m_model.newLink().*write)(text); });
    return field;
}

// A field is rewritten only when its text is not the model's already, so typing, which the model
// echoes back, keeps the cursor and the selection where they are.
void QuickPanelAddForm::showModelText()
{
    const auto show = [](QLineEdit* field, const QString& text) {
        if (field->text() != text)
            field->setText(text);
    };
    show(m_title, m_model.newLink().title());
    show(m_locator, m_model.newLink().locator());
    show(m_tags, m_model.newLink().tags());
    if (m_notes->toPlainText() != m_model.newLink().notes())
        m_notes->setPlainText(m_model.newLink().notes());
}

void QuickPanelAddForm::fitNotesHeight()
{
    // The plain-text layout measures its document in lines, wrapped lines included. Its margin shows
    // above the first line only.
    const auto* layout = qobject_cast<QPlainTextDocumentLayout*>(m_notes->document()->documentLayout());
    const int lines = layout ? int(std::ceil(layout->documentSize().height())) : 1;
    const int shown = std::clamp(lines, 1, notesMaxLines);
    const QMargins margins = m_notes->contentsMargins();
    const int height = shown * m_notes->fontMetrics().lineSpacing() +
                       int(std::ceil(m_notes->document()->documentMargin())) + 1 + margins.top() +
                       margins.bottom();
    m_notes->setFixedHeight(height);
    // Up to three lines the field grows instead; the editor would otherwise show its scroll bar for
    // the margin below the last line.
    m_notes->setVerticalScrollBarPolicy(lines > notesMaxLines ? Qt::ScrollBarAsNeeded
                                                              : Qt::ScrollBarAlwaysOff);
}

void QuickPanelAddForm::focusFirstField()
{
    m_title->setFocus(Qt::OtherFocusReason);
}

void QuickPanelAddForm::save()
{
    m_model.newLink().save();
}

bool QuickPanelAddForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && watched == m_notes) {
        fitNotesHeight(); // a new width wraps the notes anew
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (!isReturn(*key))
        return false;
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::NoModifier) {
        save();
        return true;
    }
    if (watched == m_notes && modifiers == Qt::ShiftModifier) {
        // A paragraph break rather than the editor's soft line break, so the notes hold a plain "\n".
        m_notes->textCursor().insertText(QStringLiteral("\n"));
        return true;
    }
    return false;
}

} // namespace morvane
