// The switch unit's adapter and the one convention by which every driver
// call is reported to the operator.
#include <QSignalSpy>

#include "driverstatus.h"
#include "fakedriver.h"
#include "modalanswer.h"
#include "testenv.h"
#include "ts1900fp_app.h"
#include "ts1900fp_splashlabel.h"
#include "ts4820_spc.h"

using fake::driver;

class TestAdapter : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        driver().reset();
        ts1900fp_app::setModelText(4820);
    }

    void textsAndModel();
    void driverRevisionWorksWithoutSession();
    void driverRevisionIsEmptyWhenDriverWritesNothing();
    void initAndCloseForwardUnchanged_data();
    void initAndCloseForwardUnchanged();

    void reportingConvention_data();
    void reportingConvention();
    void successIsSilent();
    void productSplashShowsDeviceImage();
};

void TestAdapter::textsAndModel()
{
    ts4820_spc spc;
    QCOMPARE(spc.model, 4820);
    QCOMPARE(spc.softwareVersion(), QStringLiteral("4.3.1.12477"));
    QCOMPARE(spc.secondVersionText(), spc.softwareVersion());
    QCOMPARE(spc.productDescription(), QStringLiteral("LXI Matrix Switching Unit"));
    QVERIFY(spc.copyrightText().contains(QStringLiteral("Tarsel Ltd.")));
    QVERIFY(!spc.copyrightText().contains(QLatin1Char('\n')));
    QVERIFY(driver().calls.isEmpty());
}

void TestAdapter::driverRevisionWorksWithoutSession()
{
    driver().unit.driverRevision = QStringLiteral("9.8.7.6");
    ts4820_spc spc;
    QCOMPARE(spc.driverRevision(), QStringLiteral("9.8.7.6"));
    QCOMPARE(driver().calls.size(), 1);
    QCOMPARE(driver().calls.at(0).function, QStringLiteral("ts4820_revision_query"));
    QCOMPARE(driver().calls.at(0).args.value(0), QStringLiteral("0"));
}

void TestAdapter::driverRevisionIsEmptyWhenDriverWritesNothing()
{
    driver().script(QStringLiteral("ts4820_revision_query"), VI_ERROR_IO);
    ts4820_spc spc;
    QCOMPARE(spc.driverRevision(), QString());
    // The status is not reported: no error text was asked for.
    QCOMPARE(driver().count(QStringLiteral("ts4820_error_message")), 0);
}

void TestAdapter::initAndCloseForwardUnchanged_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("idQuery");
    QTest::addColumn<bool>("reset");
    QTest::newRow("success, no query, no reset") << 0 << false << false;
    QTest::newRow("error passes through, reset") << int(VI_ERROR_RSRC_NFOUND) << false << true;
    QTest::newRow("warning passes through, query") << int(VI_WARN_NSUP_ID_QUERY) << true << false;
}

void TestAdapter::initAndCloseForwardUnchanged()
{
    QFETCH(int, status);
    QFETCH(bool, idQuery);
    QFETCH(bool, reset);
    if (status != 0) {
        driver().script(QStringLiteral("ts4820_init"), status);
        driver().script(QStringLiteral("ts4820_close"), status);
    }
    driver().nextSession = 42;
    ts4820_spc spc;
    ViSession vi = 0;
    QCOMPARE(int(spc.init("TCPIP0::10.0.0.7::INSTR", idQuery, reset, &vi)), status);
    const QStringList args = driver().calls.at(0).args;
    QCOMPARE(args.value(0), QStringLiteral("\"TCPIP0::10.0.0.7::INSTR\""));
    QCOMPARE(args.value(1), idQuery ? QStringLiteral("1") : QStringLiteral("0"));
    QCOMPARE(args.value(2), reset ? QStringLiteral("1") : QStringLiteral("0"));
    if (status >= 0) {
        QCOMPARE(vi, ViSession(42));
    }
    QCOMPARE(int(spc.close(7)), status);
    QCOMPARE(driver().calls.last().text(), QStringLiteral("ts4820_close(7)"));
    // The adapter reports nothing itself.
    QCOMPARE(driver().count(QStringLiteral("ts4820_error_message")), 0);
}

void TestAdapter::reportingConvention_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::newRow("error") << int(VI_ERROR_TMO) << "No"
                           << "Xentra 4820 SFP Error message"
                           << "ts4820_reset(d_vi) failed due to [Unit did not answer]\nDo you want to exit?"
                           << int(QMessageBox::Critical);
    QTest::newRow("driver's own error")
        << int(ts4820_ERROR_INSTRUMENT) << "No"
        << "Xentra 4820 SFP Error message"
        << "ts4820_reset(d_vi) failed due to [Unit did not answer]\nDo you want to exit?"
        << int(QMessageBox::Critical);
    QTest::newRow("warning") << int(ts4820_WARN_TRUNCATED) << "OK"
                             << "Xentra 4820 SFP Warning message"
                             << "Warning: [Unit did not answer]" << int(QMessageBox::Warning);
}

void TestAdapter::reportingConvention()
{
    QFETCH(int, status);
    QFETCH(QString, answer);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(int, icon);
    driver().errorTexts[status] = QStringLiteral("Unit did not answer");

    ModalAnswer box(answer);
    const ViStatus result = reportDriverStatus(5, status, "ts4820_reset(d_vi)");
    QCOMPARE(int(result), status);
    QVERIFY2(box.done(), qPrintable(box.error()));
    QCOMPARE(box.report().title, title);
    QCOMPARE(box.report().text, text);
    QCOMPARE(int(box.report().icon), icon);
    QCOMPARE(driver().callTexts(), QStringList{QStringLiteral("ts4820_error_message(5, 0x%1, out)")
                                                   .arg(quint32(status), 8, 16, QLatin1Char('0'))});
}

void TestAdapter::successIsSilent()
{
    ModalAnswer box(QStringLiteral("OK"), 200);
    QCOMPARE(int(reportDriverStatus(5, VI_SUCCESS, "ts4820_reset(d_vi)")), 0);
    QTest::qWait(300);
    QCOMPARE(box.answered(), 0);
    QVERIFY(driver().calls.isEmpty());
}

void TestAdapter::productSplashShowsDeviceImage()
{
    StdoutCapture capture;
    const ts1900fp_splashLabel splash(1.0, 20, 4820, false, QStringLiteral("(c)"),
                                      QStringLiteral("LXI Matrix Switching Unit"));
    QCOMPARE(capture.text(), QString());
    const ts1900fp_splashLabel bare(1.0, 20, 9004, false, QString(), QString());
    // The product's own picture is present and drawn: the device area differs
    // from the bare background.
    QVERIFY(splash.toImage().copy(67, 43, 452, 194) != bare.toImage().copy(67, 43, 452, 194));
}

TS_TEST_MAIN(TestAdapter)
#include "test_adapter.moc"
