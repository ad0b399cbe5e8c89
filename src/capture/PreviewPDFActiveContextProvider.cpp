#include "PreviewPDFActiveContextProvider.h"

#include "capture/CaptureText.h"
#include "capture/PreviewPDFAccessibilityContextReader.h"
#include "capture/ProviderScript.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Logging.h"
#include "foundation/Text.h"
#include "model/PDFDeepLink.h"

#include <QFileInfo>

MORVANE_LOGGING_CATEGORY(lcPreviewPDFContext, "PreviewPDFContext")

namespace morvane {

namespace {

const QString documentScript =
    QStringLiteral("tell application id \"com.apple.Preview\"\n"
                   "    if not (exists front document) then return \"\"\n"
                   "    set documentName to name of front document\n"
                   "    set documentPath to \"\"\n"
                   "    set pageNumber to \"\"\n"
                   "    try\n"
                   "        set documentPath to POSIX path of (path of front document)\n"
                   "    end try\n"
                   "    try\n"
                   "        set pageNumber to (index of current page of front document) as text\n"
                   "    end try\n"
                   "    if documentPath is \"\" then return \"\"\n"
                   "    return documentName & linefeed & documentPath & linefeed & pageNumber\n"
                   "end tell");

// What the script said of the front document: its name, path and page, each possibly empty.
struct ScriptDocument {
    QString name;
    QString path;
    std::optional<qint64> page;
};

ScriptDocument scriptDocument(const std::optional<QString>& answer)
{
    if (!answer)
        return {};
    const QStringList lines = answer->split(u'\n');
    const auto line = [&](qsizetype i) { return i < lines.size() ? trimmedText(lines[i]) : QString(); };
    ScriptDocument document{line(0), line(1), signedDecimal(line(2))};
    // A page of 0 or less would make a locator whose page reads back as none.
    if (document.page && *document.page < 1)
        document.page.reset();
    return document;
}

} // namespace

PreviewPDFActiveContextProvider::PreviewPDFActiveContextProvider(
    std::shared_ptr<Workspace> workspace, std::shared_ptr<ScriptRunner> scripts,
    std::shared_ptr<const FileIdentityService> fileIdentityService,
    std::shared_ptr<const PreviewPDFAccessibilityContextReader> accessibilityReader)
    : m_scripts(std::move(scripts))
    , m_fileIdentityService(std::move(fileIdentityService))
    , m_accessibilityReader(std::move(accessibilityReader))
    , m_recentlyActive(std::move(workspace), RecentlyActiveApplication::Policy::flag,
                       [](const QString& identifier) {
                           return identifier == PreviewPDFAccessibilityContextReader::applicationIdentifier;
                       })
    , m_reachable(scriptedApplicationReachable(*m_scripts, lcPreviewPDFContext(), QStringLiteral("Preview")))
{
}

std::optional<CapturedContext> PreviewPDFActiveContextProvider::captureContext()
{
    // Neither its scripts nor its older reader, whose window attributes only the accessibility thread
    // could read, reach an application here.
    if (!m_reachable || !m_recentlyActive.captureTarget())
        return std::nullopt;
    const ScriptDocument script =
        scriptDocument(runProviderScript(*m_scripts, documentScript, lcPreviewPDFContext(),
                                         QStringLiteral("Unable to read Preview PDF context: %1")));
    const PreviewPDFAccessibilityContext seen = m_accessibilityReader->read();

    QString fileUrl;
    if (seen.fileURL)
        fileUrl = *seen.fileURL;
    else if (script.path.startsWith(u'/'))
        fileUrl = LocatorUrl::fileUrlText(script.path, false);
    const std::optional<LocatorUrl> url = LocatorUrl::parse(fileUrl);
    if (!url || url->pathExtension().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const std::optional<QString> path = url->localFilePath();
    if (!path || !QFileInfo(*path).isFile())
        return std::nullopt;

    const PDFDeepLink link{fileUrl, script.page ? script.page : seen.page};
    return CapturedContext{script.name.isEmpty() ? url->lastPathComponent() : script.name, link.url(),
                           LinkType::file, QStringLiteral("Preview"),
                           m_fileIdentityService->makeIdentity(fileUrl, false)};
}

} // namespace morvane
