#pragma once

#include <memory>

namespace morvane {

class FileIdentityService;
class FileWorkPool;
class LinkStore;

// The library, opening on the store's thread from the moment this is made: main() makes it before
// the application object, so that a first start creates the library while the display connection is
// made. MorvaneApp::start() waits for it.
class LibraryOpening {
public:
    LibraryOpening();
    ~LibraryOpening();
    LibraryOpening(const LibraryOpening&) = delete;
    LibraryOpening& operator=(const LibraryOpening&) = delete;

    // Hands the store over while it may still be opening: wait for it with waitUntilOpen(), which
    // throws what opening threw (an Error). Once.
    std::unique_ptr<LinkStore> take();
    const std::shared_ptr<FileIdentityService>& fileIdentity() const { return m_fileIdentity; }
    // The one pool file work runs on, the library's included.
    const std::shared_ptr<FileWorkPool>& filePool() const { return m_filePool; }

private:
    std::shared_ptr<FileIdentityService> m_fileIdentity;
    std::shared_ptr<FileWorkPool> m_filePool;
    std::unique_ptr<LinkStore> m_store;
};

} // namespace morvane
