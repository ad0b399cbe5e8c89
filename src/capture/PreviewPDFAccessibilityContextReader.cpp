#include "PreviewPDFAccessibilityContextReader.h"

#include "capture/AccessibilityTexts.h"
#include "capture/CaptureText.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Text.h"
#include "platform/Workspace.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>

namespace morvane {

namespace {

constexpr qsizetype maxPageTextLength = 120;
constexpr qint64 maxPreviewPage = 99999;

const AccessibilityTextWalk& previewWalk()
{
    static const AccessibilityTextWalk walk{
        {QStringLiteral("AXRole"), QStringLiteral("AXSubrole"), QStringLiteral("AXSelectedText"),
         QStringLiteral("AXTitle"), QStringLiteral("AXValue"), QStringLiteral("AXDescription"),
         QStringLiteral("AXHelp"), QStringLiteral("AXDocument"), QStringLiteral("AXFilename"),
         QStringLiteral("AXURL")},
        6,
        80,
        180,
        true,
    };
    return walk;
}

bool isPdfFileUrl(const QString& url)
{
    const std::optional<LocatorUrl> parsed = LocatorUrl::parse(url);
    return parsed && parsed->pathExtension().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0;
}

} // namespace

PreviewPDFAccessibilityContextReader::PreviewPDFAccessibilityContextReader(
    std::shared_ptr<Workspace> workspace, std::shared_ptr<const AccessibilityElements> accessibility)
    : m_workspace(std::move(workspace))
    , m_accessibility(std::move(accessibility))
{
}

PreviewPDFAccessibilityContext PreviewPDFAccessibilityContextReader::read() const
{
    PreviewPDFAccessibilityContext context;
    const QList<RunningApplication> running = m_workspace->runningApplications();
    const auto preview = std::find_if(running.begin(), running.end(), [](const RunningApplication& a) {
        return a.identifier == applicationIdentifier;
    });
    if (preview == running.end())
        return context;
    const std::optional<AccessibilityElement> application =
        m_accessibility->applicationElement(preview->processId);
    if (!application)
        return context;

    const QStringList texts = previewWalk().collectFocusedTexts(*m_accessibility, *application);
    for (const QString& text : texts) {
        for (const QString& candidate : pathCandidates(text)) {
            if (std::optional<QString> url = existingFileUrl(candidate); url && isPdfFileUrl(*url)) {
                context.fileURL = std::move(url);
                break;
            }
        }
        if (context.fileURL)
            break;
    }
    for (const QString& text : texts) {
        if ((context.page = pageOfText(text)))
            break;
    }
    return context;
}

std::optional<qint64> PreviewPDFAccessibilityContextReader::pageOfText(const QString& text)
{
    // Unicode white space and word boundaries, as the interface's texts may carry no-break spaces.
    static const std::array<QRegularExpression, 2> patterns{
        QRegularExpression(QStringLiteral("(?i)\\bpage\\s+([0-9]{1,5})(?:\\s+of\\s+[0-9]{1,5})?\\b"),
                           QRegularExpression::UseUnicodePropertiesOption),
        QRegularExpression(QStringLiteral("(?i)\\b([0-9]{1,5})\\s+of\\s+[0-9]{1,5}\\b"),
                           QRegularExpression::UseUnicodePropertiesOption),
    };
    const QString trimmed = trimmedText(text);
    if (trimmed.isEmpty())
        return std::nullopt;
    if (trimmed.size() > maxPageTextLength && graphemeCount(trimmed) > maxPageTextLength)
        return std::nullopt;
    for (const QRegularExpression& pattern : patterns) {
        const QRegularExpressionMatch match = pattern.match(trimmed);
        if (!match.hasMatch() || pattern.captureCount() < 1)
            continue;
        if (const std::optional<qint64> page = signedDecimal(match.captured(1)); page && *page >= 1)
            return page;
    }
    const std::optional<qint64> whole = signedDecimal(trimmed);
    if (whole && *whole >= 1 && *whole <= maxPreviewPage)
        return whole;
    return std::nullopt;
}

} // namespace morvane
