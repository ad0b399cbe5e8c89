#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace morvane {

class AccessibilityElements;
class Workspace;

// Whether the identifier is CodeRunner's: it names CodeRunner in any letter case and is made only
// of letters, digits, ".", "_" and "-". Any X11 client names its own class, and the identifier is
// spliced into scripts, so nothing else counts, however it is spelt.
bool isCodeRunnerIdentifier(const QString& identifier);

// Finds the file of the document open in CodeRunner among the texts of its focused element and
// focused window (a window title such as "/src/main.py — CodeRunner").
class CodeRunnerAccessibilityContextReader {
public:
    CodeRunnerAccessibilityContextReader(std::shared_ptr<Workspace> workspace,
                                         std::shared_ptr<const AccessibilityElements> accessibility);

    // The file URL of the first text that names an existing regular file; main thread.
    std::optional<QString> activeDocumentURL() const;

private:
    // The first candidate of the texts, in order, that names an existing regular file.
    static std::optional<QString> resolveDocumentURL(const QStringList& texts);

    std::shared_ptr<Workspace> m_workspace;
    std::shared_ptr<const AccessibilityElements> m_accessibility;
};

} // namespace morvane
