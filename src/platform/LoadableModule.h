#pragma once

#include <QLibrary>
#include <QString>

namespace morvane {

// A part of the application kept in a shared library of its own (libmorvane-<name>.so), because
// what it links would otherwise be mapped, relocated and initialised at every start: the desktop's
// calendar and contacts clients, the sound server's. It is loaded when first needed and stays loaded.
// The modules lie in the package's private library folder, found from the program's own place, or,
// for a program run from the build tree, in that tree's module folder.
//
// Only a module of this very build is loaded: before anything of it is mapped, the file must be a
// regular file (a FIFO would block the loader for good) that holds every segment its headers name (a
// truncated one would crash the program when the loader touches the missing part), and it must carry
// this build's identity (ModuleIdentity.h; one of another build would be called with other types).
class LoadableModule {
public:
    explicit LoadableModule(const QString& name);
    // The module is libmorvane-<name>.so in folder.
    LoadableModule(const QString& name, const QString& folder);

    // Loads the module on the first call and answers the address of its entry point; nothing when the
    // module or the entry cannot be found or the module is not this build's, which is logged once with
    // why. Any thread; one at a time.
    QFunctionPointer entry(const char* symbol);

    // Where modules are looked for by a program at this path.
    static QString folderFor(const QString& programPath);

private:
    // Loads the module once it proved to be this build's; false, with why in problem, otherwise.
    bool load(QString& problem);

    QString m_name;
    QLibrary m_library;
    bool m_tried = false;
    bool m_failed = false;
};

} // namespace morvane
