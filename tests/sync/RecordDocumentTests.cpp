// A record file is read by a walk over its bytes, and left to a general JSON reading when it is not laid
// out as the walk expects: whatever the bytes, the record read must be the one the general reading makes.

#include "sync/RecordDocumentReader.h"
#include "sync/RecordFileCodec.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace morvane::test {
namespace {

bool sameRecord(const std::optional<CloudRecord>& a, const std::optional<CloudRecord>& b)
{
    if (!a || !b)
        return !a && !b;
    return a->sameContent(*b) && a->changeTag() == b->changeTag();
}

CloudRecord everyKindOfValue()
{
    CloudRecord record(QStringLiteral("Link"), QStringLiteral("5A7F55F1-37EC-4C62-8EF2-2A32C58A411C"));
    record.setChangeTag(QStringLiteral("8AB718F6-F3B2-4208-915C-23DECACB1BA5"));
    record.set(QStringLiteral("title"),
               QStringLiteral("Caf\u00e9 \u201cquoted\u201d \"plain\" back\\slash \U0001F517 \u4e2d"));
    record.set(QStringLiteral("notes"), QStringLiteral("line\nbreak\ttab\u0001control\u007f/slash"));
    record.set(QStringLiteral("empty"), QString());
    record.set(QStringLiteral("createdAt"), QDateTime::fromMSecsSinceEpoch(1'727'928'730'318, Qt::UTC));
    record.set(QStringLiteral("fileSize"), std::numeric_limits<qint64>::max());
    record.set(QStringLiteral("smallest"), std::numeric_limits<qint64>::min());
    record.set(QStringLiteral("zero"), qint64(0));
    record.set(QStringLiteral("ratio"), 0.1);
    record.set(QStringLiteral("whole"), 3.0);
    record.set(QStringLiteral("huge"), 1e300);
    record.set(QStringLiteral("tiny"), -2.5e-300);
    record.set(QStringLiteral("tags"),
               QStringList{QStringLiteral("a"), QStringLiteral("\u00e9t\u00e9"), QString()});
    record.set(QStringLiteral("none"), QStringList());
    record.set(QStringLiteral("cl\u00e9"), QStringLiteral("a key that is not ASCII"));
    return record;
}

TEST(RecordDocument, readsWhatTheFolderWritesWithoutTheGeneralReading)
{
    QSet<QString> words;
    RecordDocumentReader reader(words);
    const CloudRecord written = everyKindOfValue();
    const QByteArray bytes = RecordFileCodec::encode(written);
    const std::optional<CloudRecord> read = reader.read(bytes);
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(sameRecord(read, written));

    CloudRecord bare(QStringLiteral("LinkRelation"), QStringLiteral("A_B"));
    EXPECT_TRUE(sameRecord(reader.read(RecordFileCodec::encode(bare)), bare));
}

// Documents laid out otherwise than the folder writes them, each the general reading answers in its
// own way: the walk answers the same record, or leaves it to the general reading.
const char* const unusualDocuments[] = {
    R"({"fields":{"a":{"string":"x"}},"changeTag":"","recordName":"n","recordType":"T"})",
    R"( {"recordType":"T","recordName":"n","changeTag":"t","fields":{}} )",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{},"extra":[1,{"b":null}]})",
    R"({"recordType":"T","recordName":"n","recordName":"m","changeTag":"t","fields":{}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"string":"x"},"a":{"int64":2}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"string":"x","int64":2}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"string":"x"}}}garbage)",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"string":"x"},}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"str\u0069ng":"\u00e9\ud83d\udd17"}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"string":"\ud83d"}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"string":"\udd17x"}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"string":"\u0000"}}})",
    "{\"recordType\":\"T\",\"recordName\":\"n\",\"changeTag\":\"t\",\"fields\":{\"a\":{\"string\":"
    "\"\xc0\xaf\"}}}",
    "{\"recordType\":\"T\",\"recordName\":\"n\",\"changeTag\":\"t\",\"fields\":{\"a\":{\"string\":"
    "\"\xed\xa0\x80\"}}}",
    "{\"recordType\":\"T\",\"recordName\":\"n\",\"changeTag\":\"t\",\"fields\":{\"a\":{\"string\":"
    "\"\xf4\x90\x80\x80\"}}}",
    "{\"recordType\":\"T\",\"recordName\":\"n\",\"changeTag\":\"t\",\"fields\":{\"a\":{\"string\":\"\t\"}}}",
    "\xef\xbb\xbf{\"recordType\":\"T\",\"recordName\":\"n\",\"changeTag\":\"t\",\"fields\":{}}",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"int64":-0}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"double":-0}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"int64":9223372036854775808}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"int64":-9223372036854775809}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"double":18446744073709551615}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"double":18446744073709551616}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"int64":1.0}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"int64":1e3}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"double":1E+2}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"double":1e400}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"double":4.9e-324}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"double":1e-400}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"double":01}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"double":1.}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"double":.5}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"double":"1"}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"date":"2024-10-03T04:12:10Z"}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"date":"2024-10-03T04:12:10.3+02:00"}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"date":"2024-10-03T04:12:10.\u0033Z"}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"stringList":["a",1]}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"stringList":["a",]}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"stringList":[ ]}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":{"a":{"bool":true}}})",
    R"({"recordType":"T","recordName":"n","changeTag":"t","fields":[]})",
    R"({"recordType":"T","recordName":"n","changeTag":null,"fields":{}})",
    R"({"recordType":"T","recordName":"n","fields":{}})",
    R"([{"recordType":"T","recordName":"n","changeTag":"t","fields":{}}])",
    "",
};

void expectSameAsTheGeneralReading(const QByteArray& bytes)
{
    RecordFileCodec codec;
    QSet<QString> words;
    const std::optional<CloudRecord> general = codec.decodeJson(bytes);
    const std::optional<CloudRecord> walked = RecordDocumentReader(words).read(bytes);
    if (walked) {
        EXPECT_TRUE(sameRecord(walked, general)) << bytes.toStdString();
    }
    EXPECT_TRUE(sameRecord(codec.decode(bytes), general)) << bytes.toStdString();
}

TEST(RecordDocument, answersWhatTheGeneralReadingAnswersForUnusualDocuments)
{
    for (const char* document : unusualDocuments)
        expectSameAsTheGeneralReading(QByteArray(document));
}

TEST(RecordDocument, answersWhatTheGeneralReadingAnswersForDamagedFiles)
{
    // Every document above and one the folder writes, each damaged many ways: a byte changed, taken out
    // or put in, or the file cut short.
    QList<QByteArray> seeds{RecordFileCodec::encode(everyKindOfValue())};
    for (const char* document : unusualDocuments)
        seeds.append(QByteArray(document));
    const char interesting[] = "{}[]:,\"\\u0123456789-+.eE \n\xc3\xa9\xed\xf0\x80\xbf";
    std::mt19937 random(20261208);
    int walkedRecords = 0;
    for (const QByteArray& seed : std::as_const(seeds)) {
        for (int round = 0; round < 400; ++round) {
            QByteArray bytes = seed;
            for (int change = 1 + int(random() % 3); change > 0 && !bytes.isEmpty(); --change) {
                const qsizetype at = qsizetype(random() % quint32(bytes.size()));
                const char byte = interesting[random() % (sizeof interesting - 1)];
                switch (random() % 4) {
                case 0:
                    bytes[at] = byte;
                    break;
                case 1:
                    bytes.remove(at, 1);
                    break;
                case 2:
                    bytes.insert(at, byte);
                    break;
                default:
                    bytes.truncate(at);
                    break;
                }
            }
            QSet<QString> words;
            walkedRecords += RecordDocumentReader(words).read(bytes).has_value() ? 1 : 0;
            expectSameAsTheGeneralReading(bytes);
        }
    }
    // Most damage leaves a readable record somewhere: the walk must have answered some itself.
    EXPECT_GT(walkedRecords, 100);
}

} // namespace
} // namespace morvane::test
