#include "TestEnvironment.h"
#include "TestFiles.h"

#include "capture/MailFolderIndex.h"
#include "capture/MailHeaders.h"
#include "capture/MailMessageMatch.h"
#include "capture/MessageLocator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace morvane;
using namespace morvane::test;

namespace {

QByteArray mailMessage(const QByteArray& id, const QByteArray& from, const QByteArray& subject,
                       const QByteArray& date = "Mon, 07 Dec 2026 09:15:00 +0000",
                       const QByteArray& body = "Body.\n")
{
    return "Message-ID: " + id + "\nDate: " + date + "\nFrom: " + from + "\nSubject: " + subject +
           "\nContent-Type: text/plain\n\n" + body;
}

QByteArray mbox(const QList<QByteArray>& messages)
{
    QByteArray text;
    for (const QByteArray& each : messages)
        text += "From - Mon Dec 07 09:15:00 2026\r\n" + QByteArray(each).replace("\n", "\r\n") + "\r\n";
    return text;
}

} // namespace

TEST(MailHeaders, DecodedAsAMailClientShowsThemWithHostileMessageIDsRefused)
{
    const StoredMessage decoded =
        parseMailHeaders("Subject: =?UTF-8?Q?Caf=C3=A9?=\n =?ISO-8859-1?B?IG5vdOlz?= (draft)\n"
                         "From: \"Hopper, Grace\" <grace@example.org>\nMessage-ID:\n <a.b@example.org>\n"
                         "Date: Mon, 07 Dec 2026 09:15:00 +0100 (CET)\n\nSubject: not a header\n");
    EXPECT_EQ(decoded.subject, "Café notés (draft)");
    EXPECT_EQ(decoded.senderName, "Hopper, Grace");
    EXPECT_EQ(decoded.senderAddress, "grace@example.org");
    EXPECT_EQ(decoded.messageID, "<a.b@example.org>");
    EXPECT_EQ(decoded.date, QDateTime(QDate(2026, 12, 7), QTime(8, 15), Qt::UTC));

    const QByteArray hostile[] = {
        "Message-ID: <a b@example.org>",
        "Message-ID: <ab.example.org>",
        "Message-ID: <a\x01"
        "b@example.org>",
        "Message-ID: <" + QByteArray(997, 'a') + "@b>",
        "Message-ID: <one@example.org>\nMessage-ID: <two@example.org>",
        "Message-Id: =?UTF-8?B?PGFAYj4=?=",
        "Subject: no id at all",
    };
    for (const QByteArray& headers : hostile)
        EXPECT_EQ(parseMailHeaders(headers + "\n\n").messageID, "") << headers.toStdString();
    EXPECT_EQ(parseMailHeaders("Message-ID: <" + QByteArray(996, 'a') + "@b>\n").messageID.size(), 1000);
}

TEST(MailFolderIndex, ReadsMboxAndMaildirFoldersOnceUntilTheyChange)
{
    MailFolderIndex index;
    const QString inbox = writeFile(
        "Mail/Inbox", mbox({mailMessage("<one@x>", "Ada <ada@x>", "Plan", "Mon, 07 Dec 2026 08:00:00 +0000",
                                        ">From the archive\nFrom: fake@x\n"),
                            mailMessage("<two@x>", "grace@x", "Notes")}));
    QList<StoredMessage> read = index.messages(inbox);
    ASSERT_EQ(read.size(), 2);
    EXPECT_EQ(read[0].messageID, "<one@x>");
    EXPECT_EQ(read[1].subject, "Notes");
    EXPECT_EQ(index.messages(inbox), read);
    EXPECT_EQ(index.folderReads(), 1);

    QFile file(inbox);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(mbox({mailMessage("<three@x>", "ada@x", "Third")}));
    file.close();
    EXPECT_EQ(index.messages(inbox).size(), 3);
    EXPECT_EQ(index.folderReads(), 2);

    writeFile("Maildir/Inbox/cur/1.eml:2,S", mailMessage("<m1@x>", "ada@x", "One"));
    writeFile("Maildir/Inbox/new/2.eml", mailMessage("<m2@x>", "ada@x", "Two"));
    QDir().mkpath(homePath("Maildir/Inbox/tmp"));
    read = index.messages(homePath("Maildir/Inbox"));
    ASSERT_EQ(read.size(), 2);
    EXPECT_EQ(read[1].messageID, "<m2@x>");

    EXPECT_TRUE(index.messages(homePath("Mail")).isEmpty()) << "a folder without cur and new";
    EXPECT_TRUE(index.messages("/dev/zero").isEmpty()) << "never read a device";
    EXPECT_TRUE(index.messages(homePath("missing")).isEmpty());
}

TEST(MailFolderIndex, ALargeMboxIsReadWholeAndItsRewritingWhileReadIsSurvived)
{
    // Messages of every size across the reader's chunks, "From " lines falling on any byte.
    QList<QByteArray> messages;
    for (int i = 0; i < 4500; ++i)
        messages.append(mailMessage("<m" + QByteArray::number(i) + "@x>", "ada@x",
                                    "Subject " + QByteArray::number(i), "Mon, 07 Dec 2026 09:15:00 +0000",
                                    QByteArray(17 + (i * 7919) % 10000, 'b') + "\n"));
    const QByteArray large = mbox(messages);
    ASSERT_GT(large.size(), 20 * 1024 * 1024);
    const QString inbox = writeFile("Mail/Inbox", large);
    MailFolderIndex index;
    const QList<StoredMessage> read = index.messages(inbox);
    ASSERT_EQ(read.size(), messages.size());
    for (int i : {0, 1, 1234, 4499}) {
        EXPECT_EQ(read[i].messageID, "<m" + QString::number(i) + "@x>");
        EXPECT_EQ(read[i].subject, "Subject " + QString::number(i));
    }

    // The mail client compacts the folder (truncates it and writes it again) while it is read: the
    // reader gives what it read, never stops the process, and reads the folder again once it settles.
    std::atomic<bool> stop = false;
    std::thread compacting([&] {
        QFile file(inbox);
        if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
            return;
        const qint64 kept = large.size() / 4;
        while (!stop) {
            file.resize(kept);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            file.seek(kept);
            file.write(large.mid(kept));
        }
    });
    // Until the folder was read again many times while it changed (with a bound, should the writer
    // stall).
    QElapsedTimer reading;
    reading.start();
    while (index.folderReads() < 40 && reading.elapsed() < 10'000)
        EXPECT_LE(index.messages(inbox).size(), messages.size());
    stop = true;
    compacting.join();
    QFile file(inbox);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(mbox(messages.mid(0, 3)));
    file.close();
    EXPECT_EQ(index.messages(inbox).size(), 3);
}

TEST(MailMessageMatch, OnlyTheOneMessageTheRowShowsNeverALookAlike)
{
    const auto stored = [](const QByteArray& id, const QByteArray& from, const QByteArray& subject,
                           const QByteArray& date = "Mon, 07 Dec 2026 09:15:00 +0000") {
        return parseMailHeaders(mailMessage(id, from, subject, date));
    };
    const QList<StoredMessage> folder{
        stored("<plan@x>", "Ada Lovelace <ada@x>", "Plan, revised"),
        stored("<plan-early@x>", "Ada Lovelace <ada@x>", "Plan, revised", "Mon, 07 Dec 2026 07:00:00 +0000"),
        stored("<notes@x>", "Grace <grace@x>", "Notes"),
        stored("<notes-copy@x>", "Grace <grace@x>", "Notes"),
        stored("<same@x>", "bob@x", "Copied"),
        stored("<same@x>", "bob@x", "Copied"),
        stored("<a b@x>", "eve@x", "Hostile"),
        stored("<fine@x>", "eve@x", "Hostile"),
    };
    const ScopedEnvironmentVariable utc("TZ", QByteArray("UTC"));
    struct Case {
        QString row;
        QByteArray id; // empty: nothing
    };
    const Case cases[] = {
        {"Ada Lovelace <ada@x>, 09:15, Plan, revised, Read", "<plan@x>"},
        {"Ada Lovelace, 7:00 AM, Plan, revised", "<plan-early@x>"},
        {"Plan, revised, ada@x, 12/7/2026, 09:15", "<plan@x>"},
        {"Ada Lovelace <ada@x>, 10:00, Plan, revised", ""},     // no message at that time
        {"Ada Lovelace <ada@x>, Yesterday, Plan, revised", ""}, // two, and the day alone tells none apart
        {"Grace <grace@x>, 09:15, Notes, Unread", ""},          // two messages look the same
        {"bob@x, 09:15, Copied", "<same@x>"},                   // one message stored twice
        {"eve@x, 09:15, Hostile", ""},                          // the look-alike has no usable Message-ID
        {"Ada Lovelace <ada@x>, 09:15, Plan", ""},              // a subject is a whole cell
        {"Mallory <ada@x>, 09:15, Other", ""},
    };
    for (const Case& c : cases) {
        const std::optional<StoredMessage> found = messageOfRow(folder, c.row);
        EXPECT_EQ(found ? found->messageID : QByteArray(), c.id) << c.row.toStdString();
    }
}

TEST(MessageLocator, TheMessageUrlAndTheFolderUrlReadBackOnlyWhatTheyName)
{
    const std::optional<QString> locator = messageLocator(QStringLiteral("<a.b+c@example.org>"));
    EXPECT_EQ(locator, "message://%3Ca.b%2Bc%40example.org%3E");
    EXPECT_EQ(messageIDOfLocator(*locator), "a.b+c@example.org");
    for (const char* refused : {"message://%3Ca%20b%40x%3E", "message://%3Cab%3E", "message://%3Ca%0A@x%3E",
                                "message://%3Ca%FF%09@x%3E", "message://%3Caé@x%3E", "https://%3Ca@x%3E"})
        EXPECT_EQ(messageIDOfLocator(refused), std::nullopt) << refused;

    EXPECT_EQ(mailFolderOfMessageUrl("mailbox:///home/a/.thunderbird/p/Mail/Local%20Folders/Inbox?number=12"),
              "/home/a/.thunderbird/p/Mail/Local Folders/Inbox");
    for (const char* refused : {"mailbox://host/Inbox", "imap://a@b/INBOX", "mailbox:///a/%2E%2E/b",
                                "mailbox:///a/%00/b", "mailbox:relative"})
        EXPECT_EQ(mailFolderOfMessageUrl(refused), std::nullopt) << refused;
}

// A Message-ID is bytes: one that is not UTF-8 (a Latin-1 "é", a byte that is no character in any
// charset) keeps them from the folder through the link to the mail client's command line.
TEST(MessageLocator, AMessageIDThatIsNotUtf8KeepsItsBytesFromTheFolderToTheMailClient)
{
    const QByteArray ids[] = {"<caf\xe9.\xff@example.org>", "<\xc3\xa9t\xe9@x>", "<50%\x80@x>"};
    QList<QByteArray> messages;
    for (const QByteArray& id : ids)
        messages.append(mailMessage(id, "ada@x", "Same bytes"));
    const QList<StoredMessage> read = MailFolderIndex().messages(writeFile("Mail/Latin", mbox(messages)));
    ASSERT_EQ(read.size(), 3);
    for (qsizetype i = 0; i < read.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(read[i].messageID, ids[i]);
        const QString locator = messageLocator(read[i].messageID);
        EXPECT_EQ(messageIDOfLocator(locator), ids[i].mid(1, ids[i].size() - 2));
    }
    EXPECT_EQ(messageLocator(read[0].messageID), "message://%3Ccaf%E9.%FF%40example.org%3E");
    EXPECT_EQ(mailClientMessageID(*messageIDOfLocator(messageLocator(read[2].messageID))), "50%25%80@x");
    // A UTF-8 one is the text it spells, as before.
    EXPECT_EQ(mailClientMessageID("\xc3\xa9t\xc3\xa9@x"), QStringLiteral("été@x"));

    // Non-UTF-8 bytes are checked by their ASCII alone: white space and control characters still refuse.
    for (const QByteArray& refused : {QByteArray("<a\xe9 b@x>"), QByteArray("<a\xe9\x7f@x>"),
                                      QByteArray("<a\xe9.x>"), "<" + QByteArray(998, '\xe9') + "@>"})
        EXPECT_EQ(parseMailHeaders("Message-ID: " + refused + "\n\n").messageID, "")
            << refused.toHex().constData();
}
