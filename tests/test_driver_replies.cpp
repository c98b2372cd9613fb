// The driver's reading of the unit's replies: only the exact forms pass,
// and buffers are never overrun.
#include "replies.h"

#include <QtTest>

using namespace ts4820::reply;

class TestDriverReplies : public QObject
{
    Q_OBJECT

private slots:
    void repliesParse_data();
    void repliesParse();
    void blockReadingContinuesPastDataNewlines_data();
    void blockReadingContinuesPastDataNewlines();
    void namesAndTextsChecked();
    void copiesStayInsideTheBuffer();
};

void TestDriverReplies::repliesParse_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("value");

    QTest::newRow("error entry") << "error" << QByteArray("-222,\"Data out of range\"") << true
                                 << "-222|Data out of range";
    QTest::newRow("no error") << "error" << QByteArray("0,\"No error\"") << true << "0|No error";
    QTest::newRow("error without quotes") << "error" << QByteArray("-222,Data out of range") << false << "";
    QTest::newRow("error without code") << "error" << QByteArray(",\"x\"") << false << "";
    QTest::newRow("error cut") << "error" << QByteArray("-310,\"Sys?!") << false << "";
    QTest::newRow("quoted") << "quoted" << QByteArray("\"xentra-1\"") << true << "xentra-1";
    QTest::newRow("quoted empty") << "quoted" << QByteArray("\"\"") << true << "";
    QTest::newRow("quote inside") << "quoted" << QByteArray("\"a\"b\"") << false << "";
    QTest::newRow("one quote") << "quoted" << QByteArray("\"") << false << "";
    QTest::newRow("words") << "words3" << QByteArray("00000004,ffffffff,0000A000") << true
                           << "4,4294967295,40960";
    QTest::newRow("too few words") << "words3" << QByteArray("00000004,ffffffff") << false << "";
    QTest::newRow("short word") << "words3" << QByteArray("4,0,0") << false << "";
    QTest::newRow("word with sign") << "words3" << QByteArray("+0000004,00000000,00000000") << false << "";
    QTest::newRow("block") << "block" << QByteArray("#215X3=Sense+,A=bus") << true << "X3=Sense+,A=bus";
    QTest::newRow("empty block") << "block" << QByteArray("#10") << true << "";
    QTest::newRow("block data with newlines") << "block" << QByteArray("#13a\nb") << true << "a\nb";
    QTest::newRow("block shorter than declared") << "block" << QByteArray("#3249abc") << false << "";
    QTest::newRow("block longer than declared") << "block" << QByteArray("#12abc") << false << "";
    QTest::newRow("indefinite block") << "block" << QByteArray("#0abc") << false << "";
    QTest::newRow("no block") << "block" << QByteArray("abc") << false << "";
    QTest::newRow("count") << "count" << QByteArray("100") << true << "100";
    QTest::newRow("count over 100") << "count" << QByteArray("101") << false << "";
    QTest::newRow("count negative") << "count" << QByteArray("-1") << false << "";
    QTest::newRow("count with text") << "count" << QByteArray("3x") << false << "";
    QTest::newRow("real") << "real" << QByteArray("-0.0045") << true << "-0.0045";
    QTest::newRow("real with unit") << "real" << QByteArray("4.5V") << false << "";
    QTest::newRow("real empty") << "real" << QByteArray("") << false << "";
    QTest::newRow("table") << "table" << QByteArray("3,0,9,-9") << true << "0,9,-9";
    QTest::newRow("no table") << "table" << QByteArray("0") << true << "";
    QTest::newRow("table count too high") << "table" << QByteArray("4,0,9,-9") << false << "";
    QTest::newRow("table entry not a number") << "table" << QByteArray("2,0,x") << false << "";
    QTest::newRow("revision") << "revision" << QByteArray("Tarsel Ltd.,Xentra 4820-AB,48209481,2.1.0") << true
                              << "2.1.0";
    QTest::newRow("revision missing")
        << "revision" << QByteArray("Tarsel Ltd.,Xentra 4820-AB,48209481") << false << "";
}

void TestDriverReplies::repliesParse()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, reply);
    const std::string r = reply.toStdString();
    bool accepted = false;
    QString value;
    if (kind == "error") {
        int code = 0;
        std::string text;
        accepted = parseError(r, &code, &text);
        value = accepted ? QString("%1|%2").arg(code).arg(QString::fromStdString(text)) : QString();
    } else if (kind == "quoted" || kind == "block" || kind == "revision") {
        std::string text;
        accepted = kind == "quoted"  ? parseQuoted(r, &text)
                   : kind == "block" ? parseBlock(r, &text)
                                     : identificationRevision(r, &text);
        value = QString::fromStdString(text);
    } else if (kind == "words3") {
        std::vector<std::uint32_t> words;
        accepted = parseHexWords(r, 3, &words);
        QStringList parts;
        for (std::uint32_t w : words) {
            parts.append(QString::number(w));
        }
        value = parts.join(',');
    } else if (kind == "count") {
        long long n = 0;
        accepted = parseInt(r, 0, 100, &n);
        value = accepted ? QString::number(n) : QString();
    } else if (kind == "real") {
        double v = 0;
        accepted = parseReal(r, &v);
        value = accepted ? QString::number(v) : QString();
    } else if (kind == "table") {
        std::vector<double> volts;
        accepted = parseVoltageTable(r, &volts);
        QStringList parts;
        for (double v : volts) {
            parts.append(QString::number(v));
        }
        value = parts.join(',');
    }
    QTEST(accepted, "accepted");
    QTEST(value, "value");
}

void TestDriverReplies::blockReadingContinuesPastDataNewlines_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<int>("more"); // received after the head that is kept, the last an LF
    QTest::addColumn<bool>("complete");
    QTest::newRow("line") << QByteArray("0,\"No error\"\n") << 0 << true;
    QTest::newRow("line still arriving") << QByteArray("0,\"No") << 0 << false;
    QTest::newRow("empty reply") << QByteArray("\n") << 0 << true;
    QTest::newRow("newline inside block data") << QByteArray("#15ab\n") << 0 << false;
    QTest::newRow("block data whole, terminator") << QByteArray("#15ab\ncd\n") << 0 << true;
    QTest::newRow("block data ending in newline") << QByteArray("#13ab\n") << 0 << false;
    QTest::newRow("block data ending in newline, terminator") << QByteArray("#13ab\n\n") << 0 << true;
    // Past the head that is kept, the block's end is still found by count.
    QTest::newRow("long block, newline in the data") << QByteArray("#8100000000123") << 5000 << false;
    QTest::newRow("long block, data and terminator")
        << QByteArray("#8100000000123") << 100000000 - 3 + 1 << true;
}

void TestDriverReplies::blockReadingContinuesPastDataNewlines()
{
    QFETCH(QByteArray, received);
    QFETCH(int, more);
    const bool lf = more > 0 || received.endsWith('\n');
    QTEST(replyComplete(received.toStdString(), std::size_t(received.size() + more), lf), "complete");
}

void TestDriverReplies::namesAndTextsChecked()
{
    QVERIFY(isPresetName("Bench_A-1"));
    QVERIFY(isPresetName(std::string(63, 'n').c_str()));
    for (const char *bad : {"", "a b", "a.b", "Bench*", "\xc3\xa9"}) {
        QVERIFY2(!isPresetName(bad), bad);
    }
    QVERIFY(!isPresetName(std::string(64, 'n').c_str()));
    QVERIFY(!isPresetName(nullptr));
    QVERIFY(isQuotable("Sense+ 'x' = y"));
    QVERIFY(isQuotable(""));
    QVERIFY(!isQuotable("a\"b"));
    QVERIFY(!isQuotable("tab\there"));
    QVERIFY(!isQuotable(nullptr));
}

void TestDriverReplies::copiesStayInsideTheBuffer()
{
    char buffer[8];
    std::memset(buffer, 'z', sizeof buffer);
    QVERIFY(copyBounded(buffer, 6, "abcde"));
    QCOMPARE(QByteArray(buffer), QByteArray("abcde"));
    QVERIFY(!copyBounded(buffer, 6, "abcdefgh"));
    QCOMPARE(QByteArray(buffer), QByteArray("abcde"));
    QCOMPARE(buffer[6], 'z'); // nothing past the given size
    QCOMPARE(formatBlock("X1=in"), std::string("#15X1=in"));
    QCOMPARE(formatBlock(std::string(248, 'a')).substr(0, 5), std::string("#3248"));
    QCOMPARE(formatReal(-0.0045), std::string("-0.0045"));
}

QTEST_GUILESS_MAIN(TestDriverReplies)
#include "test_driver_replies.moc"
