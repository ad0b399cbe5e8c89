#include "platform/GLibErrorSlot.h"
#include "platform/GObjectRef.h"
#include "platform/eds/EdsMapping.h"
#include "platform/eds/EdsStoreReader.h"

#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

using namespace morvane;

namespace {

// The mail library's provider modules mapped into this process.
QStringList mappedMailProviders()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return {QStringLiteral("/proc/self/maps is unreadable")};
    QStringList providers;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        if (line.contains("/camel-providers/"))
            providers.append(QString::fromUtf8(line.mid(line.lastIndexOf(' ') + 1)));
    }
    providers.removeDuplicates();
    return providers;
}

} // namespace

// The reader's first source would otherwise load every mail provider of the system (seven modules and
// what they link, about a megabyte resident) into a process that reads calendars and address books.
TEST(EdsStoreReader, SourcesMadeAfterKeepingMailProvidersOutLoadNone)
{
    keepMailProvidersOut();
    ErrorSlot error;
    const GObjectRef<ESource> source(e_source_new(nullptr, nullptr, &error));
    ASSERT_TRUE(source) << error.text().toStdString();
    EXPECT_TRUE(e_source_get_extension(source.get(), E_SOURCE_EXTENSION_CALENDAR));
    EXPECT_EQ(mappedMailProviders(), QStringList()) << mappedMailProviders().join(u'\n').toStdString();
}
