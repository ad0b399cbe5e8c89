#pragma once

#include <QLoggingCategory>
#include <QString>

// Each component declares its category once in its own source file:
//   MORVANE_LOGGING_CATEGORY(lcStore, "SQLiteStore")  ->  "morvane.SQLiteStore"
// Debug lines stay quiet unless asked for (QT_LOGGING_RULES="morvane.*.debug=true"): a user who starts
// Morvane from a terminal sees what went wrong, not every capture that found nothing.
#define MORVANE_LOGGING_CATEGORY(name, category) Q_LOGGING_CATEGORY(name, "morvane." category, QtInfoMsg)

namespace morvane {

// Paths, locators and payloads go through this before they reach the log: "<private>" unless the
// environment sets MORVANE_LOG_PRIVATE=1.
QString privateValue(const QString& value);

} // namespace morvane
