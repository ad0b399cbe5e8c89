#pragma once

#include "LibraryGenerator.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "library/SQLiteStore.h"
#include "store/LinkStoreDetail.h"

#include <QTemporaryDir>

#include <map>
#include <memory>

namespace morvane::bench {

// A generated library of `size` links behind a store, made on first use and shared by every benchmark
// of the program that asks for that size.
inline LinkStore& generatedLinkStore(long size)
{
    struct GeneratedLibrary {
        QTemporaryDir folder;
        std::unique_ptr<LinkStore> store;
    };
    static std::map<long, std::unique_ptr<GeneratedLibrary>> libraries;
    std::unique_ptr<GeneratedLibrary>& entry = libraries[size];
    if (!entry) {
        entry = std::make_unique<GeneratedLibrary>();
        const QString path = entry->folder.filePath(QStringLiteral("Morvane.sqlite"));
        {
            SQLiteStore sqlite(path);
            LibraryGenerator().populate(sqlite, size);
        }
        entry->store = std::make_unique<LinkStore>(
            LinkStore::libraryAt(path),
            std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
    }
    return *entry->store;
}

} // namespace morvane::bench
