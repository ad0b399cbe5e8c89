#include "capture/ThunderbirdImapStore.h"

#include "RecordedAccessibilityTree.h"
#include "TestFiles.h"

#include "capture/MailFolderIndex.h"
#include "capture/ThunderbirdMessageReader.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace morvane {
namespace {

using test::homePath;
using test::writeFile;

TEST(ImapFolderReference, ReadFromEitherMessageUrlAndNeverLeadingOutOfTheStore)
{
    const struct {
        const char* url;
        std::optional<ImapFolderReference> folder;
    } cases[]{
        // The message pane's fetch URL: the server's separator comes first, then the folder's name.
        {"imap://127.0.0.1:14300/fetch%3EUID%3E.INBOX%3E2",
         ImapFolderReference{"", "127.0.0.1", 14300, {"INBOX"}}},
        {"imap://ada@127.0.0.1:14300/fetch%3EUID%3E.INBOX.Projects%3E7",
         ImapFolderReference{"ada", "127.0.0.1", 14300, {"INBOX", "Projects"}}},
        // A name beyond ASCII stays as the server spells it (modified UTF-7), as Thunderbird names its
        // offline copy ("Caf&AOk-" for "Café").
        {"imap://127.0.0.1/fetch%3EUID%3E.INBOX.Caf&AOk-%3E3",
         ImapFolderReference{"", "127.0.0.1", std::nullopt, {"INBOX", "Caf&AOk-"}}},
        {"imap://ada%40example.org@mail.example.org/fetch%3EUID%3E/Archive/2026%3E7?part=1.2",
         ImapFolderReference{"ada@example.org", "mail.example.org", std::nullopt, {"Archive", "2026"}}},
        // The message's own URI always separates folders with "/".
        {"imap-message://ada@127.0.0.1/INBOX/Sub%20folder#12",
         ImapFolderReference{"ada", "127.0.0.1", std::nullopt, {"INBOX", "Sub folder"}}},
        {"imap://ada@127.0.0.1:14300/fetch%3EUID%3E/INBOX/..%3E2", std::nullopt},
        {"imap-message://ada@127.0.0.1/INBOX/../../etc#1", std::nullopt},
        {"imap-message://ada@127.0.0.1/INBOX//Sub#1", std::nullopt},
        {"imap://ada@127.0.0.1:14300/INBOX", std::nullopt}, // a folder, not a message
        {"imap://ada@127.0.0.1:14300/fetch%3EUID%3E%3E2", std::nullopt},
        {"mailbox:///home/ada/Mail/Inbox?number=2", std::nullopt},
        {"imap-message:///INBOX#1", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(imapFolderOfMessageUrl(QString::fromUtf8(c.url)), c.folder) << c.url;
}

TEST(ImapAccounts, ReadFromPreferencesWithTheirOfflineStores)
{
    const QByteArray prefs = R"(// Mozilla User Preferences
user_pref("mail.server.server1.type", "imap");
user_pref("mail.server.server1.hostname", "127.0.0.1");
user_pref("mail.server.server1.port", 14300);
user_pref("mail.server.server1.userName", "ada");
user_pref("mail.server.server1.directory-rel", "[ProfD]ImapMail/127.0.0.1");
user_pref("mail.server.server2.type", "none");
user_pref("mail.server.server2.directory-rel", "[ProfD]Mail/Local Folders");
user_pref("mail.server.server3.userName", "quote\"d \\ user");
user_pref("mail.server.server3.type", "imap");
user_pref("mail.server.server3.hostname", "imap.example.org");
user_pref("mail.server.server3.directory", "/srv/mail/example");
user_pref("mail.server.server4.type", "imap");
user_pref("mail.server.server4.hostname", "new.example.org");
user_pref("mail.server.server4.userName", "grace");
user_pref("mail.server.server5.type", "imap");
user_pref("mail.server.server5.hostname", "old.example.org");
user_pref("mail.server.server5.directory", "/p/ImapMail/old.example.org-1");
)";
    // server3's store lies outside the profile, where the user put it.
    const QList<ImapAccount> accounts = imapAccountsOfPreferences(prefs, QStringLiteral("/p"));
    EXPECT_EQ(accounts, (QList<ImapAccount>{
                            {"ada", "127.0.0.1", 14300, "/p/ImapMail/127.0.0.1"},
                            {"quote\"d \\ user", "imap.example.org", 143, "/srv/mail/example"},
                            {"grace", "new.example.org", 143, "/p/ImapMail/new.example.org"},
                            {"", "old.example.org", 143, "/p/ImapMail/old.example.org-1"},
                        }));
}

// The store is the folder the account names, wherever the user put it; only a server name that
// becomes a folder name must be one plain component of a path.
TEST(ImapAccounts, TheStoreIsTheFolderTheAccountNamesAndAServerNameIsOneComponent)
{
    const struct {
        const char* hostname;
        const char* relative; // directory-rel, when set
        const char* absolute; // directory, when set
        const char* store;    // the account's store, or nothing when it is left out
    } cases[]{
        {"../../elsewhere", nullptr, nullptr, nullptr},
        {"mail.example.org/..", nullptr, nullptr, nullptr},
        {"..", nullptr, nullptr, nullptr},
        {"", nullptr, nullptr, nullptr},
        {"", "[ProfD]ImapMail/mail.example.org", nullptr, nullptr},
        // A server name that names no folder is only a name to match.
        {"../../elsewhere", "[ProfD]ImapMail/mail.example.org", nullptr, "/p/ImapMail/mail.example.org"},
        {"mail.example.org", "[ProfD]ImapMail/./a/../mail.example.org", nullptr,
         "/p/ImapMail/mail.example.org"},
        {"mail.example.org", "[ProfD]../home/ada/Mail", nullptr, "/home/ada/Mail"},
        {"mail.example.org", "[ProfD]", nullptr, "/p"},
        {"mail.example.org", nullptr, "/home/ada/Mail/imap/", "/home/ada/Mail/imap"},
        {"mail.example.org", nullptr, "/pp/ImapMail", "/pp/ImapMail"},
        // The relative setting is Thunderbird's own choice when both are written.
        {"mail.example.org", "[ProfD]ImapMail/mail.example.org", "/old/place",
         "/p/ImapMail/mail.example.org"},
        // A directory that is neither: the server's default folder.
        {"mail.example.org", "ImapMail/x", "relative/x", "/p/ImapMail/mail.example.org"},
        {"mail.example.org", nullptr, nullptr, "/p/ImapMail/mail.example.org"},
    };
    for (const auto& c : cases) {
        QByteArray prefs = QByteArray("user_pref(\"mail.server.server1.type\", \"imap\");\n"
                                      "user_pref(\"mail.server.server1.hostname\", \"") +
                           c.hostname + "\");\n";
        if (c.relative)
            prefs +=
                QByteArray("user_pref(\"mail.server.server1.directory-rel\", \"") + c.relative + "\");\n";
        if (c.absolute)
            prefs += QByteArray("user_pref(\"mail.server.server1.directory\", \"") + c.absolute + "\");\n";
        const QList<ImapAccount> accounts = imapAccountsOfPreferences(prefs, QStringLiteral("/p"));
        SCOPED_TRACE(prefs.toStdString());
        if (!c.store) {
            EXPECT_TRUE(accounts.isEmpty()) << accounts.value(0).directory.toStdString();
            continue;
        }
        ASSERT_EQ(accounts.size(), 1);
        EXPECT_EQ(accounts.first().directory, QString::fromUtf8(c.store));
    }
}

TEST(ImapOfflineFolders, EveryCopyOfTheFolderNameBareOrNumberedAndNothingElse)
{
    const QString store = homePath(QStringLiteral("profile/ImapMail/127.0.0.1"));
    for (const char* name : {"INBOX", "INBOX-1", "INBOX.msf", "INBOX-1.msf", "INBOXES", "INBOX-old", "inbox",
                             "INBOX.sbd/Projects", "INBOX.sbd/Projects-2.msf", "Projects"})
        writeFile(store + u'/' + QString::fromUtf8(name), "From - x\n");
    QDir().mkpath(store + QStringLiteral("/Archive/cur")); // a maildir store keeps a folder as a directory

    EXPECT_EQ(imapOfflineFolderPaths(store, {"INBOX"}), QStringList({store + "/INBOX", store + "/INBOX-1"}));
    EXPECT_EQ(imapOfflineFolderPaths(store, {"INBOX", "Projects"}),
              QStringList({store + "/INBOX.sbd/Projects"}));
    EXPECT_EQ(imapOfflineFolderPaths(store, {"Archive"}), QStringList({store + "/Archive"}));
    EXPECT_TRUE(imapOfflineFolderPaths(store, {"Trash"}).isEmpty());
    EXPECT_TRUE(imapOfflineFolderPaths(store, {}).isEmpty());
}

QByteArray offlineCopyMessage(const char* id, const char* date, const char* from, const char* subject)
{
    return QByteArray("From - Mon Dec 07 08:06:03 2026\nX-Mozilla-Status: 0001\nMessage-ID: <") + id +
           ">\nDate: " + date + "\nFrom: " + from + "\nSubject: " + subject + "\n\nBody\n\n";
}

// Thunderbird as recorded with its IMAP Inbox open and its newest message selected: the message pane
// names the server and the folder, and the message is found in the profile's offline copy of it.
TEST(ThunderbirdImapMessages, FoundInTheOfflineCopyOfTheirFolderOrNotAtAll)
{
    const QString profile = homePath(QStringLiteral("tb/e2e"));
    writeFile(profile + "/prefs.js", R"(user_pref("mail.server.server1.type", "imap");
user_pref("mail.server.server1.hostname", "127.0.0.1");
user_pref("mail.server.server1.port", 14300);
user_pref("mail.server.server1.userName", "ada");
user_pref("mail.server.server1.directory-rel", "[ProfD]ImapMail/127.0.0.1");
)");
    // The process holds its profile's lock open, as Thunderbird does.
    QFile lock(writeFile(profile + "/.parentlock", ""));
    ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
    const QString inbox = profile + "/ImapMail/127.0.0.1/INBOX-1";
    writeFile(inbox, offlineCopyMessage("launch.checklist@example.org", "Mon, 07 Dec 2026 08:10:00 +0000",
                                        "Grace Hopper <grace@example.org>", "Launch checklist") +
                         offlineCopyMessage("budget.review@example.org", "Mon, 07 Dec 2026 09:20:00 +0000",
                                            "Alan Turing <alan@example.org>", "Budget review"));

    auto tree = std::make_shared<test::AccessibilityTree>();
    const qint64 pid = QCoreApplication::applicationPid();
    ASSERT_TRUE(test::replayRecordedTree(
        *tree, QStringLiteral(MORVANE_RECORDED_TREES "/thunderbird-imap.json"), pid));
    const ThunderbirdMessageReader reader(tree, std::make_shared<MailFolderIndex>());
    const QString title = QStringLiteral("Inbox - ada@127.0.0.1 - Mozilla Thunderbird");
    const DesktopWindow window{1, {QStringLiteral("thunderbird"), pid}, title, {}, {}};
    EXPECT_EQ(reader.read(window), (CapturedContext{"Budget review - Alan Turing <alan@example.org>",
                                                    "message://%3Cbudget.review%40example.org%3E",
                                                    LinkType::mail, "Thunderbird", std::nullopt}));

    // The account keeps no offline copy of the folder: nothing, never a message of another folder.
    writeFile(profile + "/ImapMail/127.0.0.1/Trash",
              offlineCopyMessage("budget.review@example.org", "Mon, 07 Dec 2026 09:20:00 +0000",
                                 "Alan Turing <alan@example.org>", "Budget review"));
    QFile::remove(inbox);
    EXPECT_EQ(reader.read(window), std::nullopt);

    // The user keeps the account's offline store outside the profile: it is read there, whether the
    // account names it absolutely or relative to the profile.
    const QString elsewhere = homePath(QStringLiteral("Mail/imap-ada"));
    writeFile(elsewhere + "/INBOX",
              offlineCopyMessage("budget.review@example.org", "Mon, 07 Dec 2026 09:20:00 +0000",
                                 "Alan Turing <alan@example.org>", "Budget review"));
    const QByteArray account = R"(user_pref("mail.server.server1.type", "imap");
user_pref("mail.server.server1.hostname", "127.0.0.1");
user_pref("mail.server.server1.port", 14300);
user_pref("mail.server.server1.userName", "ada");
)";
    for (const QByteArray& directory :
         {"user_pref(\"mail.server.server1.directory\", \"" + elsewhere.toUtf8() + "\");\n",
          QByteArray(
              "user_pref(\"mail.server.server1.directory-rel\", \"[ProfD]../../Mail/imap-ada\");\n")}) {
        SCOPED_TRACE(directory.toStdString());
        writeFile(profile + "/prefs.js", account + directory);
        EXPECT_EQ(reader.read(window), (CapturedContext{"Budget review - Alan Turing <alan@example.org>",
                                                        "message://%3Cbudget.review%40example.org%3E",
                                                        LinkType::mail, "Thunderbird", std::nullopt}));
    }
    EXPECT_EQ(tree->offThreadReads, 0);
}

} // namespace
} // namespace morvane
