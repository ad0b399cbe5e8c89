#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace morvane {

class LocatorUrl;

// One vault of Obsidian's registry.
struct ObsidianVault {
    QString path; // absolute folder path
    bool isOpen = false;

    bool operator==(const ObsidianVault&) const = default;
};

// Obsidian's own files, read afresh on every call: the vault registry and each vault's workspace.
// These files may come from synced folders, so one that is huge or deeply nested counts as
// malformed, with a line in the log, and malformed files count as absent.
namespace ObsidianFiles {

// Where the registry may stand, in the order they are tried: the configuration home, then the
// Flatpak and the Snap places.
QStringList registryLocations();

// The vaults of the first registry that exists, in document order.
QList<ObsidianVault> vaults();

// The vault-relative path of the note in front in the vault, by the first rule that gives one: the
// active leaf, the first Markdown leaf of the main area, the file the side panes follow most, the
// first existing Markdown file recently opened, the first Markdown leaf anywhere.
std::optional<QString> activeNotePath(const QString& vaultPath);

// The absolute path of the active note of the first open vault whose active note exists.
std::optional<QString> activeNote();

// The absolute path of the note an obsidian://open locator names, however it is written: "path="
// with the path encoded or not, or "vault=" (a vault's folder name in the registry) and "file=" (the
// vault-relative path, ".md" implied when it has no extension). Nothing for other locators and for
// a vault the registry (`vaults()`, read once by the caller) does not list.
std::optional<QString> notePath(const QString& locator, const QList<ObsidianVault>& vaults);
std::optional<QString> notePath(const LocatorUrl& locator, const QList<ObsidianVault>& vaults);

} // namespace ObsidianFiles

} // namespace morvane
