#include "CodeRunnerAccessibilityContextReader.h"

#include "capture/AccessibilityTexts.h"
#include "platform/Workspace.h"

#include <QSet>

#include <algorithm>

namespace morvane {

namespace {

const AccessibilityTextWalk& codeRunnerWalk()
{
    static const AccessibilityTextWalk walk{
        {QStringLiteral("AXSelectedText"), QStringLiteral("AXTitle"), QStringLiteral("AXValue"),
         QStringLiteral("AXDescription"), QStringLiteral("AXDocument"), QStringLiteral("AXFilename"),
         QStringLiteral("AXURL")},
        5,
        50,
        100,
        false,
    };
    return walk;
}

bool isIdentifierCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'.' ||
           u == u'_' || u == u'-';
}

} // namespace

bool isCodeRunnerIdentifier(const QString& identifier)
{
    return std::all_of(identifier.begin(), identifier.end(), isIdentifierCharacter) &&
           identifier.contains(QLatin1String("coderunner"), Qt::CaseInsensitive);
}

CodeRunnerAccessibilityContextReader::CodeRunnerAccessibilityContextReader(
    std::shared_ptr<Workspace> workspace, std::shared_ptr<const AccessibilityElements> accessibility)
    : m_workspace(std::move(workspace))
    , m_accessibility(std::move(accessibility))
{
}

std::optional<QString> CodeRunnerAccessibilityContextReader::activeDocumentURL() const
{
    // CodeRunner need not be in front: this application's panel may be open over it.
    const QList<RunningApplication> running = m_workspace->runningApplications();
    const auto codeRunner = std::find_if(running.begin(), running.end(), [](const RunningApplication& a) {
        return isCodeRunnerIdentifier(a.identifier);
    });
    if (codeRunner == running.end())
        return std::nullopt;
    const std::optional<AccessibilityElement> application =
        m_accessibility->applicationElement(codeRunner->processId);
    if (!application)
        return std::nullopt;
    return resolveDocumentURL(codeRunnerWalk().collectFocusedTexts(*m_accessibility, *application));
}

std::optional<QString> CodeRunnerAccessibilityContextReader::resolveDocumentURL(const QStringList& texts)
{
    static const QStringList titleSuffixes{QStringLiteral(" - CodeRunner"),
                                           QStringLiteral(" \u2014 CodeRunner")};
    QSet<QString> tried;
    for (const QString& text : texts) {
        for (const QString& candidate : pathCandidates(text, titleSuffixes)) {
            if (tried.contains(candidate))
                continue;
            tried.insert(candidate);
            if (std::optional<QString> url = existingFileUrl(candidate))
                return url;
        }
    }
    return std::nullopt;
}

} // namespace morvane
