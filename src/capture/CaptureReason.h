#pragma once

#include "model/CapturedContext.h"

#include <QString>

#include <optional>

namespace morvane {

// What reading the window in front gave: its item, or, where it can be told, why there is none. A
// reader that gives neither has nothing to say about that window.
struct WindowReading {
    std::optional<CapturedContext> context;
    std::optional<QString> reason; // only without a context

    // Implicit, so that a reader answers with its item, or nothing, as it would without a reason.
    WindowReading(std::optional<CapturedContext> context = std::nullopt)
        : context(std::move(context))
    {
    }
    WindowReading(std::nullopt_t) {}
    WindowReading(CapturedContext context)
        : context(std::move(context))
    {
    }
    static WindowReading nothingBecause(QString reason);

    bool operator==(const WindowReading&) const = default;
};

// The texts the quick panel shows when nothing in front can be captured and the reason is known.
namespace captureReason {

QString accessibilityBusOff();
// windowClass: the name the desktop gives the application's windows ("XTerm").
QString applicationNotRead(const QString& windowClass);
QString nothingSelected(const QString& fileManager);
QString selectionNotShown(const QString& fileManager);
// The file manager does not say (or answer) which folder its window shows.
QString folderNotKnown(const QString& fileManager);
QString pagesNotShown(const QString& browser);
QString noMessageSelected(const QString& mailClient);
// A GTK 2 program started without the accessibility bridge module.
QString bridgeNotLoaded(const QString& application);
// The message shown is in an account of a kind whose messages are not read, or in none known.
QString accountNotRead(const QString& mailClient);

} // namespace captureReason

// Whether the process was started with the switch that makes a Chromium-family browser show its pages
// on the accessibility bus even when it sees no screen reader. False when its command line cannot be
// read.
bool startedWithRendererAccessibility(qint64 processId);

// Whether the process was started with GTK's accessibility bridge among its modules (GTK_MODULES),
// which a GTK 2 program needs to appear on the accessibility bus. False when its environment cannot
// be read.
bool startedWithAccessibilityBridge(qint64 processId);

} // namespace morvane
