// The driver's reading of the unit's replies: only the exact forms pass.
#include "replies.h"

#include <QtTest>

using namespace ts4820::reply;

class TestDriverReplies : public QObject
{
    Q_OBJECT

private slots:
    // Each row "<check>: <case>": whether the bytes pass; "end" is whether they
    // end a reply (`more` bytes arrived past the head the driver keeps).
    void bytesPassTheirCheck_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("more");
        QTest::addColumn<bool>("passes");
        QTest::newRow("error: without quotes") << QByteArray("-222,Data out of range") << 0 << false;
        QTest::newRow("words: any case") << QByteArray("00000004,ffffffff,0000A000") << 0 << true;
        QTest::newRow("words: too few") << QByteArray("00000004,ffffffff") << 0 << false;
        QTest::newRow("words: too many") << QByteArray("00000004,ffffffff,00000000,00000000") << 0 << false;
        QTest::newRow("words: short") << QByteArray("4,0,0") << 0 << false;
        QTest::newRow("block: shorter than declared") << QByteArray("#3249abc") << 0 << false;
        QTest::newRow("block: longer than declared") << QByteArray("#12abc") << 0 << false;
        QTest::newRow("table: count too high") << QByteArray("4,0,9,-9") << 0 << false;
        QTest::newRow("end: block data ending in newline") << QByteArray("#13ab\n") << 0 << false;
        QTest::newRow("end: long block, newline in it") << QByteArray("#8100000000123") << 5000 << false;
        QTest::newRow("end: long block, terminator") << QByteArray("#8100000000123") << 99999998 << true;
    }
    void bytesPassTheirCheck()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, more);
        const QString check = QString(QTest::currentDataTag()).section(':', 0, 0);
        const std::string r = bytes.toStdString();
        std::string text;
        int code = 0;
        std::vector<std::uint32_t> words;
        std::vector<double> volts;
        QTEST(check == "error"   ? parseError(r, &code, &text)
              : check == "words" ? parseHexWords(r, 3, &words)
              : check == "block" ? parseBlock(r, &text)
              : check == "table" ? parseVoltageTable(r, &volts)
                                 : replyComplete(r, r.size() + more, more > 0 || bytes.endsWith('\n')),
              "passes");
    }
};

QTEST_GUILESS_MAIN(TestDriverReplies)
#include "test_driver_replies.moc"
