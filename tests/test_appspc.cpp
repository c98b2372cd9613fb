// The frame's connection flow: how the chosen module (or demo mode) is
// presented, which session the frame keeps, and that demo mode never calls
// VISA or the driver.
#include <QLabel>
#include <QPushButton>

#include "demoidentity.h"
#include "fakevisa.h"
#include "modalanswer.h"
#include "testenv.h"
#include "ts1900fp_about.h"
#include "ts1900fp_appspc.h"
#include "ts1900fp_genspc.h"
#include "ts1900fp_led.h"

using fake::visa;

namespace {

// An adapter whose session opening is scripted call by call.
class Adapter : public ts1900fp_genSPC
{
public:
    struct Init
    {
        ViStatus status;
        ViSession session;
    };
    QList<Init> script;
    QStringList calls;

    ViStatus init(const char *descriptor, ViBoolean idQuery, ViBoolean reset, ViSession *vi) override
    {
        calls << QStringLiteral("init(%1, %2, %3)")
                     .arg(QString::fromLatin1(descriptor))
                     .arg(idQuery)
                     .arg(reset);
        const Init next = script.isEmpty() ? Init{0, 1} : script.takeFirst();
        *vi = next.session;
        return next.status;
    }
    ViStatus close(ViSession vi) override
    {
        calls << QStringLiteral("close(%1)").arg(vi);
        return 0;
    }
    QString softwareVersion() override { return QStringLiteral("4.3.1.12477"); }
    QString productDescription() override { return QStringLiteral("LXI Matrix Switching Unit"); }
    QString driverRevision() override { return QStringLiteral("1.0"); }
    QString copyrightText() override { return QStringLiteral("(c) Tarsel Ltd."); }
    QString secondVersionText() override { return softwareVersion(); }
};

class Frame : public ts1900fp_AppSPC
{
public:
    using ts1900fp_app::m_aboutButton;
    using ts1900fp_app::m_activeLed;
    using ts1900fp_app::m_busLogoLabel;
    using ts1900fp_app::m_moduleLabel;
    using ts1900fp_app::m_titleLabel;
    using ts1900fp_AppSPC::ts1900fp_AppSPC;
};

const char *const kUnit = "TCPIP0::10.1.2.3::INSTR";

void addUnit()
{
    fake::VisaResource unit;
    unit.descriptor = QString::fromLatin1(kUnit);
    unit.host = QStringLiteral("10.1.2.3");
    unit.idnReply = "Tarsel Ltd.,Xentra 4820-AB,48209481,2.4.7";
    visa().resources << unit;
}

bool showsLxiLogo(const Frame &frame)
{
    return frame.m_busLogoLabel->pixmap().toImage() == QPixmap(QStringLiteral(":/lxi-logo.bmp")).toImage();
}

} // namespace

class TestAppSpc : public QObject
{
    Q_OBJECT

private slots:
    void init() { visa().reset(); }

    void demoModePresentsDemoUnitWithoutAnyCall();
    void realModeKeepsTheSessionOfTheDialog_data();
    void realModeKeepsTheSessionOfTheDialog();
    void missingSessionIsOpenedWithResetAndFailureReported();
    void forcedDemoSkipsTheDialogue();
};

void TestAppSpc::demoModePresentsDemoUnitWithoutAnyCall()
{
    Adapter adapter;
    ModalAnswer answer(QStringLiteral("Run In Demo Mode"));
    {
        Frame frame(&adapter);
        QVERIFY2(answer.done(), qPrintable(answer.error()));
        QCOMPARE(answer.report().title, QStringLiteral("Xentra 4820 SFP: Select Module"));
        QCOMPARE(frame.demo, 1);
        QCOMPARE(frame.d_vi, ViSession(0));
        QCOMPARE(frame.m_activeLed->state(), 0);
        QCOMPARE(frame.windowTitle(),
                 QStringLiteral("Xentra 4820 Soft Front Panel: ") + demoidentity::address());
        QCOMPARE(frame.m_moduleLabel->text(), demoidentity::address());
        QVERIFY(!frame.m_moduleLabel->isHidden());
        QVERIFY(showsLxiLogo(frame));
        QCOMPARE(frame.m_titleLabel->text(),
                 QStringLiteral("<html>Xentra 4820<br><font size='2'>LXI Matrix Switching "
                                "Unit</font></html>"));
        QVERIFY(frame.m_aboutButton->isEnabled());
        QCOMPARE(frame.about()->driverRevisionLabel()->text(), QStringLiteral("Not used (DEMO)"));
    }
    QVERIFY2(visa().calls().isEmpty(), qPrintable(visa().calls().join(", ")));
    QVERIFY2(adapter.calls.isEmpty(), qPrintable(adapter.calls.join(", ")));
}

void TestAppSpc::realModeKeepsTheSessionOfTheDialog_data()
{
    QTest::addColumn<int>("interfaceType");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("module");
    QTest::addColumn<bool>("lxi");
    QTest::newRow("LXI unit") << int(VI_INTF_TCPIP) << "lab-unit-3"
                              << "Xentra 4820 Soft Front Panel: lab-unit-3"
                              << "lab-unit-3" << true;
    QTest::newRow("empty host name hides the label") << int(VI_INTF_TCPIP) << ""
                                                     << "Xentra 4820 Soft Front Panel: "
                                                     << "" << true;
    QTest::newRow("VXI module in slot 7") << int(VI_INTF_VXI) << "ignored"
                                          << "Xentra 4820 Soft Front Panel"
                                          << "Slot 7" << false;
}

void TestAppSpc::realModeKeepsTheSessionOfTheDialog()
{
    QFETCH(int, interfaceType);
    QFETCH(QString, host);
    QFETCH(QString, title);
    QFETCH(QString, module);
    QFETCH(bool, lxi);
    addUnit();
    visa().foreignSession.intfType = ViUInt16(interfaceType);
    visa().foreignSession.host = host;
    visa().foreignSession.slot = 7;
    Adapter adapter;
    adapter.script << Adapter::Init{0, 77};
    ModalAnswer answer(QStringLiteral("Auto Find"));
    {
        Frame frame(&adapter);
        QVERIFY2(answer.done(), qPrintable(answer.error()));
        QCOMPARE(frame.demo, 0);
        QCOMPARE(frame.d_vi, ViSession(77));
        QCOMPARE(adapter.calls, QStringList{QStringLiteral("init(%1, 0, 0)").arg(kUnit)});
        QCOMPARE(frame.m_activeLed->state(), 1);
        QCOMPARE(frame.windowTitle(), title);
        QCOMPARE(frame.m_moduleLabel->text(), module);
        QCOMPARE(frame.m_moduleLabel->isHidden(), module.isEmpty());
        QCOMPARE(showsLxiLogo(frame), lxi);
        QVERIFY(visa().count(QStringLiteral("viGetAttribute(77, 0x3fff0171)")) == 1);
    }
    // The frame closes the session it kept, once.
    QCOMPARE(adapter.calls.last(), QStringLiteral("close(77)"));
    QCOMPARE(adapter.calls.count(QStringLiteral("close(77)")), 1);
}

void TestAppSpc::missingSessionIsOpenedWithResetAndFailureReported()
{
    addUnit();
    Adapter adapter;
    // The dialog's opening succeeds but hands over no session; the frame's
    // own attempt then fails.
    adapter.script << Adapter::Init{0, 0} << Adapter::Init{VI_ERROR_RSRC_NFOUND, 0};
    ModalAnswer answers({QStringLiteral("Auto Find"), QStringLiteral("No")});
    Frame frame(&adapter);
    QVERIFY2(answers.done(), qPrintable(answers.error()));
    QCOMPARE(adapter.calls, (QStringList{QStringLiteral("init(%1, 0, 0)").arg(kUnit),
                                         QStringLiteral("init(%1, 0, 1)").arg(kUnit)}));
    QCOMPARE(answers.report(1).title, QStringLiteral("Xentra 4820 SFP Error message"));
    QCOMPARE(answers.report(1).text,
             QStringLiteral("Function Call failed due to [0xbfff0011]\nDo you want to exit?"));
}

void TestAppSpc::forcedDemoSkipsTheDialogue()
{
    Adapter adapter;
    ModalAnswer none(QStringLiteral("Cancel"), 300);
    Frame frame(&adapter, true);
    QTest::qWait(400);
    QCOMPARE(none.answered(), 0);
    QCOMPARE(frame.demo, 1);
    QCOMPARE(frame.windowTitle(), QStringLiteral("Xentra 4820 Soft Front Panel: "));
    QVERIFY(frame.m_moduleLabel->isHidden());
    QVERIFY(!frame.m_aboutButton->isEnabled());
    QVERIFY(visa().calls().isEmpty());
}

TS_TEST_MAIN(TestAppSpc)
#include "test_appspc.moc"
