#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace morvane {

// The document Title of a PDF's information dictionary, when it is stored as plain text in the file
// (not inside a compressed object stream); nothing otherwise. Reads at most the file's first and last
// few hundred kilobytes.
std::optional<QString> pdfDocumentTitle(const QString& path);

// Which of the PDFs a viewer process holds open its window shows: the only one; else the one whose
// file name (or, as some viewers title their windows, whose document Title) the window title holds,
// when exactly one does. Nothing when it stays ambiguous. Reads the files' titles: never on the main
// thread.
std::optional<QString> pdfShownInWindow(const QStringList& openPdfs, const QString& windowTitle);

} // namespace morvane
