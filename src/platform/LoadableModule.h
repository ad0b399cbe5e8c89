#pragma once

#include <QLibrary>
#include <QString>

namespace morvane {

// A part of the application kept in a shared library of its own (libmorvane-<name>.so), because
// what it links would otherwise be mapped, relocated and initialised at every start: the desktop's
// calendar and contacts clients, the sound server's. It is loaded when first needed and stays loaded.
// The modules lie in the package's private library folder, found from the program's own place, or,
// for a program run from the build tree, in that tree's module folder.
class LoadableModule {
public:
    explicit LoadableModule(const QString& name);

    // Loads the module on the first call and answers the address of its entry point; nothing when the
    // module or the entry cannot be found, which is logged once with why. Any thread; one at a time.
    QFunctionPointer entry(const char* symbol);

    // Where modules are looked for by a program at this path.
    static QString folderFor(const QString& programPath);

private:
    QString m_name;
    QLibrary m_library;
    bool m_tried = false;
    bool m_failed = false;
};

} // namespace morvane
