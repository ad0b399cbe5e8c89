#include "LoadableModule.h"

#include "foundation/FileDescriptor.h"
#include "foundation/Logging.h"
#include "platform/ModuleIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

MORVANE_LOGGING_CATEGORY(lcModule, "Module")

namespace morvane {

namespace {

// The running program, as the kernel names it (QCoreApplication may not exist yet, or at all).
QString programPath()
{
    return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
}

constexpr unsigned char nativeClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
constexpr unsigned char nativeByteOrder =
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
// More note bytes than a module has: a larger note segment is not read.
constexpr ElfW(Xword) maxNotesSize = 64 * 1024;

bool readAt(int fd, void* into, std::size_t size, std::uint64_t offset)
{
    auto* bytes = static_cast<char*>(into);
    while (size > 0) {
        const ssize_t got = ::pread(fd, bytes, size, off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        bytes += got;
        size -= std::size_t(got);
        offset += std::uint64_t(got);
    }
    return true;
}

// The build identity among the notes of one note segment, if there.
std::optional<std::string_view> identityAmong(std::string_view notes, ElfW(Xword) alignment)
{
    const auto padded = [alignment](std::size_t size) {
        return (size + alignment - 1) / alignment * alignment;
    };
    const std::string_view owner(moduleIdentityNoteName, sizeof(moduleIdentityNoteName));
    std::size_t at = 0;
    while (notes.size() - at >= sizeof(ElfW(Nhdr))) {
        ElfW(Nhdr) header;
        std::memcpy(&header, notes.data() + at, sizeof header);
        const std::size_t nameAt = at + sizeof header;
        const std::size_t descriptionAt = nameAt + padded(header.n_namesz);
        const std::size_t next = descriptionAt + padded(header.n_descsz);
        if (descriptionAt > notes.size() || next > notes.size() || next <= at)
            return std::nullopt;
        if (header.n_type == moduleIdentityNoteType && notes.substr(nameAt, header.n_namesz) == owner)
            return notes.substr(descriptionAt, header.n_descsz);
        at = next;
    }
    return std::nullopt;
}

ElfW(Xword) noteAlignment(const ElfW(Phdr) & segment)
{
    return segment.p_align == 8 ? 8 : 4;
}

// The identity of the build this program is of, from its own notes as they lie in memory; nothing for
// a program linked without it, which then loads no module.
const std::optional<std::string>& programIdentity()
{
    static const std::optional<std::string> identity = [] {
        std::optional<std::string> found;
        // The program's own headers come first; the others are not looked at.
        dl_iterate_phdr(
            [](dl_phdr_info* program, std::size_t, void* into) {
                auto& found = *static_cast<std::optional<std::string>*>(into);
                for (ElfW(Half) index = 0; index < program->dlpi_phnum && !found; ++index) {
                    const ElfW(Phdr)& segment = program->dlpi_phdr[index];
                    if (segment.p_type != PT_NOTE)
                        continue;
                    const std::string_view notes(
                        reinterpret_cast<const char*>(program->dlpi_addr + segment.p_vaddr), segment.p_memsz);
                    if (const std::optional<std::string_view> identity =
                            identityAmong(notes, noteAlignment(segment)))
                        found = std::string(*identity);
                }
                return 1;
            },
            &found);
        return found;
    }();
    return identity;
}

// Why the file at path may not be loaded, or nothing when it is a whole module of this program's
// build. Read without loading it: nothing of a module of another build runs.
QString moduleFileProblem(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    // Not blocking: a FIFO opens at once, and is turned away below.
    const FileDescriptor file(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0)
        return name + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return name + QStringLiteral(" is not a regular file");
    const auto size = std::uint64_t(status.st_size);
    const QString cut = name + QStringLiteral(" is cut short");

    ElfW(Ehdr) header;
    if (!readAt(file.get(), &header, sizeof header, 0))
        return cut;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != nativeClass ||
        header.e_ident[EI_DATA] != nativeByteOrder || header.e_phentsize != sizeof(ElfW(Phdr)) ||
        header.e_phnum == 0)
        return name + QStringLiteral(" is not a module for this computer");
    const std::uint64_t tableSize = std::uint64_t(header.e_phnum) * sizeof(ElfW(Phdr));
    if (header.e_phoff > size || tableSize > size - header.e_phoff)
        return cut;
    std::vector<ElfW(Phdr)> segments(header.e_phnum);
    if (!readAt(file.get(), segments.data(), tableSize, header.e_phoff))
        return cut;

    std::optional<std::string> identity;
    for (const ElfW(Phdr) & segment : segments) {
        // The loader maps each segment from the file: one that runs past its end would fault when read.
        if (segment.p_offset > size || segment.p_filesz > size - segment.p_offset)
            return cut;
        if (segment.p_type != PT_NOTE || identity || segment.p_filesz > maxNotesSize)
            continue;
        std::string notes(segment.p_filesz, '\0');
        if (!readAt(file.get(), notes.data(), notes.size(), segment.p_offset))
            return cut;
        if (const std::optional<std::string_view> found = identityAmong(notes, noteAlignment(segment)))
            identity = std::string(*found);
    }
    if (!programIdentity())
        return QStringLiteral("the program carries no build identity to compare ") + name +
               QStringLiteral(" with");
    if (identity != programIdentity())
        return name + QStringLiteral(" is of another build");
    return {};
}

} // namespace

LoadableModule::LoadableModule(const QString& name)
    : LoadableModule(name, folderFor(programPath()))
{
}

LoadableModule::LoadableModule(const QString& name, const QString& folder)
    : m_name(name)
{
    m_library.setFileName(folder + QStringLiteral("/libmorvane-") + name + QStringLiteral(".so"));
}

QString LoadableModule::folderFor(const QString& path)
{
    // A program of the build tree uses that tree's modules; an installed one never looks there.
    const QString buildTree = QStringLiteral(MORVANE_BUILD_TREE "/");
    if (path.startsWith(buildTree))
        return QStringLiteral(MORVANE_BUILD_MODULE_DIR);
    return QDir::cleanPath(QFileInfo(path).absolutePath() + QStringLiteral("/" MORVANE_INSTALLED_MODULE_DIR));
}

bool LoadableModule::load(QString& problem)
{
    problem = moduleFileProblem(m_library.fileName());
    if (!problem.isEmpty())
        return false;
    if (!m_library.load()) {
        problem = m_library.errorString();
        return false;
    }
    return true;
}

QFunctionPointer LoadableModule::entry(const char* symbol)
{
    if (m_failed)
        return nullptr;
    QString problem;
    if (!std::exchange(m_tried, true) && !load(problem)) {
        m_failed = true;
        qCWarning(lcModule).noquote() << "The" << m_name << "module is not available:" << problem;
        return nullptr;
    }
    QFunctionPointer found = m_library.resolve(symbol);
    if (!found) {
        m_failed = true;
        qCWarning(lcModule).noquote()
            << "The" << m_name << "module is not available:" << m_library.errorString();
    }
    return found;
}

} // namespace morvane
