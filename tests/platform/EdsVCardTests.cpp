#include "platform/eds/EdsVCard.h"

#include <gtest/gtest.h>

#include <optional>

using namespace morvane;

TEST(EdsVCard, CardsAreNamedInFullOrByTheirParts)
{
    struct Case {
        const char* vcard;
        std::optional<ContactCard> card;
        QString fileAs;
    };
    const Case cases[] = {
        {"UID:1\r\nFN: Ann Lee \r\nN:Lee;Ann;;;\r\nORG:Acme Inc.\r\n",
         ContactCard{"book/1", "Ann", "Lee", "Acme Inc.", "Ann Lee"}, "Ann Lee"},
        {"UID:2\r\nORG:Okapi Works\r\n", ContactCard{"book/2", "", "", "Okapi Works", ""}, ""},
        {"UID:3\r\nN:Zebrafish;Bo;;;\r\nX-EVOLUTION-FILE-AS:Zebrafish\\, Bo\r\n",
         ContactCard{"book/3", "Bo", "Zebrafish", "", "Bo Zebrafish"}, "Zebrafish, Bo"},
        {"FN:No uid\r\n", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        const QByteArray vcard = QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\n") + c.vcard + "END:VCARD\r\n";
        const std::optional<EdsCard> read = contactCard(vcard, QStringLiteral("book"));
        EXPECT_EQ(read ? std::optional(read->card) : std::nullopt, c.card) << c.vcard;
        EXPECT_EQ(read ? read->fileAs : QString(), c.fileAs) << c.vcard;
    }
}

// Cards as other programs write them into an address book: folded lines, escaped separators,
// grouped and parameterised names, vCard 2.1's quoted-printable values.
TEST(EdsVCard, CardsAreReadAsTheirWritersSpellThem)
{
    struct Case {
        const char* vcard;
        ContactCard card;
    };
    const Case cases[] = {
        {"VERSION:3.0\r\nUID:folded\r\nFN:Anna-Lena Ber\r\n gmann\r\nN:Bergmann;Anna-Lena\r\n\t;;;\r\n",
         ContactCard{"book/folded", "Anna-Lena", "Bergmann", "", "Anna-Lena Bergmann"}},
        {"VERSION:3.0\nuid:lf-only\nfn:Jo\\; Co\\, Ltd\\nNext\nitem1.ORG;TYPE=\"work:main\":R&D\\; "
         "Labs;Unit\n",
         ContactCard{"book/lf-only", "", "", "R&D; Labs", "Jo; Co, Ltd\nNext"}},
        {"VERSION:2.1\r\nUID:qp\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=\r\n=BCrgen\r\n"
         "FN;QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller\r\n",
         ContactCard{"book/qp", "J\u00fcrgen", "M\u00fcller", "", "J\u00fcrgen M\u00fcller"}},
        // A later line of the same name, such as a second organisation, does not replace the first.
        {"VERSION:3.0\r\nUID:two\r\nORG:First\r\nORG:Second\r\nFN:Two\r\n",
         ContactCard{"book/two", "", "", "First", "Two"}},
    };
    for (const Case& c : cases) {
        const QByteArray vcard = QByteArray("BEGIN:VCARD\r\n") + c.vcard + "END:VCARD\r\n";
        const std::optional<EdsCard> read = contactCard(vcard, QStringLiteral("book"));
        ASSERT_TRUE(read) << c.vcard;
        EXPECT_EQ(read->card, c.card) << c.vcard;
    }
}
