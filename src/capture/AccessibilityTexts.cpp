#include "AccessibilityTexts.h"

#include "foundation/LocatorUrl.h"
#include "foundation/Text.h"
#include "platform/FileSystemProbe.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace morvane {

namespace {

constexpr qsizetype maxCandidateLength = 2048;

const QStringList& childAttributes()
{
    static const QStringList names{QStringLiteral("AXSelectedChildren"), QStringLiteral("AXVisibleChildren"),
                                   QStringLiteral("AXChildren")};
    return names;
}

bool isTrimmedAway(QChar c)
{
    return c.isSpace() || c == u'"' || c == u'\'';
}

QString trimmedOfSpaceAndQuotes(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isTrimmedAway(text[start]))
        ++start;
    while (end > start && isTrimmedAway(text[end - 1]))
        --end;
    return text.mid(start, end - start);
}

} // namespace

QStringList AccessibilityTextWalk::collectFocusedTexts(const AccessibilityElements& api,
                                                       const AccessibilityElement& application) const
{
    QStringList texts;
    for (const QString& name : {QStringLiteral("AXFocusedUIElement"), QStringLiteral("AXFocusedWindow")}) {
        const std::optional<AccessibilityValue> value = api.attribute(application, name);
        if (value && value->kind == AccessibilityValue::Kind::element && !value->elements.isEmpty())
            collect(api, value->elements.front(), 0, texts);
    }
    return texts;
}

void AccessibilityTextWalk::collect(const AccessibilityElements& api, const AccessibilityElement& element,
                                    int depth, QStringList& texts) const
{
    if (depth > maxDepth || texts.size() >= maxTexts)
        return;
    for (const QString& attribute : textAttributes) {
        if (std::optional<QString> text = textOf(api, element, attribute); text && !text->isEmpty())
            texts.append(std::move(*text));
    }
    for (const QString& attribute : childAttributes()) {
        const std::optional<AccessibilityValue> value = api.attribute(element, attribute);
        if (!value || value->kind != AccessibilityValue::Kind::elementList || value->elements.isEmpty())
            continue;
        for (const AccessibilityElement& child :
             value->elements.first(qMin(value->elements.size(), maxChildren)))
            collect(api, child, depth + 1, texts);
        return;
    }
}

std::optional<QString> AccessibilityTextWalk::textOf(const AccessibilityElements& api,
                                                     const AccessibilityElement& element,
                                                     const QString& attribute) const
{
    const std::optional<AccessibilityValue> value = api.attribute(element, attribute);
    if (!value)
        return std::nullopt;
    switch (value->kind) {
    case AccessibilityValue::Kind::text:
    case AccessibilityValue::Kind::url:
    case AccessibilityValue::Kind::attributedText:
        return value->text;
    case AccessibilityValue::Kind::number:
        return numbersAreTexts ? std::optional(value->text) : std::nullopt;
    default:
        return std::nullopt;
    }
}

QStringList pathCandidates(const QString& text, const QStringList& extraSeparators)
{
    static const QRegularExpression lineBreaksAndTabs(
        QStringLiteral("[\\t\\n\\x{0B}\\f\\r\\x{85}\\x{2028}\\x{2029}]"));
    QStringList pieces = text.split(lineBreaksAndTabs);
    for (const QString& separator : extraSeparators) {
        QStringList split;
        for (const QString& piece : pieces)
            split += piece.split(separator);
        pieces = std::move(split);
    }
    QStringList candidates;
    for (const QString& piece : pieces) {
        QString candidate = trimmedOfSpaceAndQuotes(piece);
        if (candidate.isEmpty())
            continue;
        if (candidate.size() > maxCandidateLength && graphemeCount(candidate) > maxCandidateLength)
            continue;
        candidates.append(std::move(candidate));
    }
    return candidates;
}

QString expandingTilde(const QString& path)
{
    if (path == u'~')
        return QDir::homePath();
    if (path.startsWith(QStringLiteral("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

std::optional<QString> existingFileUrl(const QString& candidate)
{
    std::optional<QString> url;
    std::optional<QString> path;
    if (candidate.startsWith(QStringLiteral("file://"))) {
        url = candidate;
        path = localPathOfFileUrl(candidate);
    } else if (candidate.startsWith(u'/') || candidate.startsWith(u'~')) {
        path = expandingTilde(candidate);
        url = LocatorUrl::fileUrlText(*path, false);
    }
    if (!path || !path->startsWith(u'/') || pathHoldsNul(*path) || !QFileInfo(*path).isFile())
        return std::nullopt;
    return url;
}

} // namespace morvane
