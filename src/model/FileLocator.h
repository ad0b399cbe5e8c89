#pragma once

#include <QString>

#include <optional>

namespace morvane {

class LocatorUrl;

// A captured locator as the file steps of a lookup need it: whether it is a URL at all, the local
// path of a file URL and the page of a PDF deep link. Read once from the captured text and passed
// on, so no step parses the text again.
struct FileLocator {
    bool isUrl = false;
    std::optional<QString> path; // a local file URL's file (LocatorUrl::localFilePath)
    std::optional<qint64> page;  // a PDF deep link's page

    bool operator==(const FileLocator&) const = default;

    static FileLocator read(const QString& text);
    // The same from a locator already parsed (nothing when the text was not a URL).
    static FileLocator of(const std::optional<LocatorUrl>& url);
};

} // namespace morvane
