#include "PdfViewerBus.h"

#include "foundation/LocatorUrl.h"
#include "platform/SessionBus.h"

namespace morvane {

namespace {

// No document has this many pages: a larger number is a viewer's fault (or a hostile answer), and is
// refused before any arithmetic on it.
constexpr qint64 maxPageNumber = 1'000'000'000;

// A whole number from 0 to maxPageNumber; nothing for any other answer.
std::optional<qint64> pageNumberOf(const std::optional<QVariant>& value)
{
    if (!value)
        return std::nullopt;
    bool ok = false;
    qint64 number = -1;
    switch (value->metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
        // Qt's conversion of a fraction rounds, and of a huge one overflows: a page is never either.
        return std::nullopt;
    case QMetaType::ULongLong:
    case QMetaType::ULong: {
        const qulonglong unsignedNumber = value->toULongLong(&ok);
        if (ok && unsignedNumber <= qulonglong(maxPageNumber))
            number = qint64(unsignedNumber);
        break;
    }
    default:
        number = value->toLongLong(&ok);
        break;
    }
    if (!ok || number < 0 || number > maxPageNumber)
        return std::nullopt;
    return number;
}

// A page counted from 1, from the viewer's own count; nothing when it names no page.
std::optional<qint64> pageFrom(const std::optional<QVariant>& value, qint64 firstPage)
{
    const std::optional<qint64> number = pageNumberOf(value);
    if (!number || *number < firstPage)
        return std::nullopt;
    return *number - firstPage + 1;
}

// An absolute path; some viewers answer a file URL instead.
std::optional<QString> pathFrom(const std::optional<QVariant>& value)
{
    if (!value || value->userType() != QMetaType::QString)
        return std::nullopt;
    QString text = value->toString();
    if (text.startsWith(QLatin1String("file://"))) {
        const std::optional<LocatorUrl> url = LocatorUrl::parse(text);
        text = url ? url->localFilePath().value_or(QString()) : QString();
    }
    if (!text.startsWith(u'/') || text.contains(QChar(u'\0')))
        return std::nullopt;
    return text;
}

bool ownedBy(const SessionBus& bus, const QString& name, qint64 processId)
{
    return bus.ownerProcessId(name) == processId;
}

} // namespace

std::optional<PdfViewerAnswer> askPdfViewer(const SessionBus& bus, PdfViewerInterface viewer,
                                            qint64 processId)
{
    if (processId <= 0)
        return std::nullopt;
    switch (viewer) {
    case PdfViewerInterface::zathura: {
        const BusObject object{QStringLiteral("org.pwmt.zathura.PID-%1").arg(processId),
                               QStringLiteral("/org/pwmt/zathura"), QStringLiteral("org.pwmt.zathura")};
        if (!ownedBy(bus, object.service, processId))
            return std::nullopt;
        const std::optional<QVariant> path = bus.property(object, QStringLiteral("filename"));
        if (!path)
            return std::nullopt; // it did not answer: asking for the page would cost another wait
        return PdfViewerAnswer{pathFrom(path),
                               pageFrom(bus.property(object, QStringLiteral("pagenumber")), 0)};
    }
    case PdfViewerInterface::okular: {
        const BusObject object{QStringLiteral("org.kde.okular-%1").arg(processId), QStringLiteral("/okular"),
                               QStringLiteral("org.kde.okular")};
        if (!ownedBy(bus, object.service, processId))
            return std::nullopt;
        const std::optional<QVariant> path = bus.call(object, QStringLiteral("currentDocument"));
        if (!path)
            return std::nullopt;
        return PdfViewerAnswer{pathFrom(path), pageFrom(bus.call(object, QStringLiteral("currentPage")), 1)};
    }
    case PdfViewerInterface::qpdfview: {
        // One instance owns the name for all its windows; another one answers for nothing of ours.
        const BusObject object{QStringLiteral("local.qpdfview"), QStringLiteral("/MainWindow"),
                               QStringLiteral("local.qpdfview.MainWindow")};
        if (!ownedBy(bus, object.service, processId))
            return std::nullopt;
        const std::optional<QVariant> page = bus.call(object, QStringLiteral("currentPage"));
        if (!page)
            return std::nullopt;
        return PdfViewerAnswer{std::nullopt, pageFrom(page, 1)};
    }
    }
    return std::nullopt;
}

} // namespace morvane
