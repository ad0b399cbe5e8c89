#pragma once

#include <QString>

#include <optional>

namespace morvane {

class LocatorUrl;

// A PDF file URL with an optional page carried in the fragment "page=N".
struct PDFDeepLink {
    QString fileURL;            // the file URL text exactly as read, fragment included
    std::optional<qint64> page; // 1 or more

    bool operator==(const PDFDeepLink&) const = default;

    // Present only for a file URL whose path extension is "pdf" in any case.
    static std::optional<PDFDeepLink> fromString(const QString& text);
    static std::optional<PDFDeepLink> fromUrl(const LocatorUrl& url);
    // "page=N", "PAGE=N" or a bare number, with an optional sign; 0 or less is no page.
    static std::optional<qint64> pageFromFragment(const std::optional<QString>& fragment);

    // The locator text: the file URL, with its fragment replaced by "page=N" when there is a page.
    QString url() const;
};

} // namespace morvane
