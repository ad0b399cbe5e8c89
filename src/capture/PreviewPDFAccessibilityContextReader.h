#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace morvane {

class AccessibilityElements;
class Workspace;

// What Preview's interface shows of the document in front.
struct PreviewPDFAccessibilityContext {
    std::optional<QString> fileURL; // an existing PDF named among the texts
    std::optional<qint64> page;     // 1 to 99999

    bool operator==(const PreviewPDFAccessibilityContext&) const = default;
};

// Reads which PDF Preview shows, and at which page, from the texts of its focused element and
// focused window. Without trust nothing can be read and both fields stay absent.
class PreviewPDFAccessibilityContextReader {
public:
    static inline const QString applicationIdentifier = QStringLiteral("com.apple.Preview");

    PreviewPDFAccessibilityContextReader(std::shared_ptr<Workspace> workspace,
                                         std::shared_ptr<const AccessibilityElements> accessibility);

    // Main thread; never fails.
    PreviewPDFAccessibilityContext read() const;

    // The page one text names: "Page 3", "page 3 of 12", "3 of 12" or a bare number; nothing for a
    // text longer than a page indication can be, or for a page outside 1 to 99999.
    static std::optional<qint64> pageOfText(const QString& text);

private:
    std::shared_ptr<Workspace> m_workspace;
    std::shared_ptr<const AccessibilityElements> m_accessibility;
};

} // namespace morvane
