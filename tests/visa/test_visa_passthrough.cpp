// TS4820_VISA_LIBRARY: calls reach the named library unchanged, and a
// library that cannot be used makes the resource manager fail to open.
// The choice is made once per process, so each row runs visa_probe anew.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestVisaPassThrough : public QObject
{
    Q_OBJECT

private slots:
    void calls_data();
    void calls();
};

void TestVisaPassThrough::calls_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<QStringList>("output");
    QTest::addColumn<QStringList>("reachedLibrary");

    QTest::newRow("stand-in library")
        << QStringLiteral(STANDIN)
        << QStringList{"viOpenDefaultRM 00000000",
                       "viFindRsrc 00000000 1 TCPIP0::standin.example::inst0::INSTR",
                       "viOpen 00000000",
                       "viWrite 00000000 5",
                       "viRead 00000000 Stand-in Instruments,Model 7,0001,0.1\\x0a",
                       "viGetAttribute 00000000 6",
                       "viSetAttribute 00000000",
                       "viFindNext bfff0011",
                       "viStatusDesc 00000000 stand-in text for 0xbfff0015",
                       "viClose 00000000",
                       "viClose 00000000"}
        << QStringList{"viOpenDefaultRM",
                       "viFindRsrc ?*INSTR",
                       "viOpen TCPIP0::standin.example::inst0::INSTR",
                       "viWrite *IDN?",
                       "viRead",
                       "viGetAttribute 0x3fff0171",
                       "viSetAttribute 0x3fff001a 500",
                       "viFindNext",
                       "viStatusDesc",
                       "viClose 0x5300",
                       "viClose 0x5100"};

    // Without a usable library every call fails the same way; the status
    // text still comes, from this library.
    const QString timeOutText =
        "viStatusDesc 00000000 VI_ERROR_TMO: The time-out expired before the operation completed.";
    const QStringList unavailable{
        "viOpenDefaultRM bfff009e", "viFindRsrc bfff009e 0 ", "viOpen bfff009e",
        "viWrite bfff009e 0",       "viRead bfff009e ",       "viGetAttribute bfff009e 0",
        "viSetAttribute bfff009e",  "viFindNext bfff009e",    timeOutText,
        "viClose bfff009e",         "viClose bfff009e"};
    QTest::newRow("no such file") << QStringLiteral("/nonexistent/libvendorvisa.so") << unavailable
                                  << QStringList();
    QTest::newRow("a function is missing") << QStringLiteral(STANDIN_PARTIAL) << unavailable << QStringList();
    QTest::newRow("names this library itself")
        << QStringLiteral(VISA_LIBRARY) << unavailable << QStringList();

    QTest::newRow("variable empty: built-in TCP/IP")
        << QString()
        << QStringList{"viOpenDefaultRM 00000000", "viFindRsrc bfff0011 0 ", "viOpen bfff0012",
                       "viWrite bfff000e 0",       "viRead bfff000e ",       "viGetAttribute bfff000e 0",
                       "viSetAttribute bfff000e",  "viFindNext bfff000e",    timeOutText,
                       "viClose 3fff0082",         "viClose 00000000"}
        << QStringList();
}

void TestVisaPassThrough::calls()
{
    QFETCH(QString, library);
    QFETCH(QStringList, output);
    QFETCH(QStringList, reachedLibrary);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString log = dir.filePath("calls.log");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TS4820_VISA_LIBRARY", library);
    env.insert("STANDIN_VISA_LOG", log);
    // The built-in row searches: never the user's own list.
    env.insert("TS4820_VISA_CONFIG", dir.filePath("none.conf"));
    env.insert("XDG_CONFIG_HOME", dir.filePath("xdg"));
    env.remove("TS4820_VISA_RESOURCES");

    QProcess probe;
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral(VISA_PROBE), QStringList());
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
    const QString printed = QString::fromUtf8(probe.readAllStandardOutput());
    QCOMPARE(printed.split('\n', Qt::SkipEmptyParts), output);

    QFile calls(log);
    QStringList reached;
    if (calls.open(QIODevice::ReadOnly)) {
        reached = QString::fromUtf8(calls.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    QCOMPARE(reached, reachedLibrary);
}

QTEST_GUILESS_MAIN(TestVisaPassThrough)
#include "test_visa_passthrough.moc"
