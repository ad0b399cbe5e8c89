#pragma once

#include "platform/AccessibilityApi.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace morvane {

// How far a walk of another application's interface goes, and which texts it gathers. The limits
// keep a capture, which runs on the main thread every few seconds, from crawling a huge window.
struct AccessibilityTextWalk {
    QStringList textAttributes;
    int maxDepth = 0;          // depths 0 to maxDepth are visited
    qsizetype maxChildren = 0; // of each element, the first ones only
    qsizetype maxTexts = 0;    // no element is entered once this many texts are held
    bool numbersAreTexts = false;

    // Texts of the application's focused element, then of its focused window, in walk order. Each
    // element gives its non-empty text attributes in table order, then its children from the first
    // child attribute ("AXSelectedChildren", "AXVisibleChildren", "AXChildren") that holds any.
    QStringList collectFocusedTexts(const AccessibilityElements& api,
                                    const AccessibilityElement& application) const;

private:
    void collect(const AccessibilityElements& api, const AccessibilityElement& element, int depth,
                 QStringList& texts) const;
    std::optional<QString> textOf(const AccessibilityElements& api, const AccessibilityElement& element,
                                  const QString& attribute) const;
};

// The pieces of a text that may name a file: split at tabs and line breaks (and at any of the extra
// separators), trimmed of white space and quotes, non-empty and at most 2048 characters long.
QStringList pathCandidates(const QString& text, const QStringList& extraSeparators = {});

// A leading "~" or "~/" made the home folder.
QString expandingTilde(const QString& path);

// The file URL a candidate names when it is a file URL text or an absolute (or "~") path and a
// regular file stands there: the URL text as given, or the one made from the path. Folders,
// relative paths and other URLs name nothing.
std::optional<QString> existingFileUrl(const QString& candidate);

} // namespace morvane
