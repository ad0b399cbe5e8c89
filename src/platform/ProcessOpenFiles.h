#pragma once

#include <QStringList>

namespace morvane {

// The regular files the process holds open whose names end in the extension (any letter case), each
// once, in descriptor order; empty when the process is gone or not ours to look into. Reads /proc
// only: cheap, and never waits on the process itself.
QStringList openFilesOfProcess(qint64 processId, const QString& extension);

} // namespace morvane
