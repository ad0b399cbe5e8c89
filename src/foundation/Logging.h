#pragma once

#include <QLoggingCategory>
#include <QString>

// Each component declares its category once in its own source file:
//   MORVANE_LOGGING_CATEGORY(lcStore, "SQLiteStore")  ->  "morvane.SQLiteStore"
#define MORVANE_LOGGING_CATEGORY(name, category) Q_LOGGING_CATEGORY(name, "morvane." category)

namespace morvane {

// Paths, locators and payloads go through this before they reach the log: "<private>" unless the
// environment sets MORVANE_LOG_PRIVATE=1.
QString privateValue(const QString& value);

} // namespace morvane
