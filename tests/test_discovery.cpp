// Finding and identifying modules through VISA: what each resource's
// "*IDN?" reply makes of it, which resources are queried at all, the order
// of the result, and that identification really runs in parallel.
#include <QProgressDialog>
#include <QThreadPool>
#include <QTimer>

#include "fakevisa.h"
#include "testenv.h"
#include "ts1900fp_genspc.h"
#include "visadiscovery.h"

using fake::visa;

namespace {

class Adapter : public ts1900fp_genSPC
{
public:
    ViStatus init(const char *, ViBoolean, ViBoolean, ViSession *) override { return 0; }
    ViStatus close(ViSession) override { return 0; }
    QString softwareVersion() override { return {}; }
    QString productDescription() override { return {}; }
    QString driverRevision() override { return {}; }
    QString copyrightText() override { return {}; }
    QString secondVersionText() override { return {}; }
};

fake::VisaResource tcpip(const QString &address, const QByteArray &reply)
{
    fake::VisaResource resource;
    resource.descriptor = QStringLiteral("TCPIP0::%1::INSTR").arg(address);
    resource.host = address;
    resource.idnReply = reply;
    return resource;
}

resourceInfo_t record(const QString &descriptor)
{
    resourceInfo_t r;
    r.descriptor = descriptor;
    return r;
}

} // namespace

class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void init() { visa().reset(); }

    void identificationReply_data();
    void identificationReply();
    void otherInterfacesAreOpenedAndClosedOnly();
    void busyResourceIsReportedAndSkipped();
    void orderOfDescriptors_data();
    void orderOfDescriptors();
    void searchSortsAndShowsProgress();
    void nothingToSearchGivesEmptyList_data();
    void nothingToSearchGivesEmptyList();
    void identificationRunsInParallelWithinPoolLimit_data();
    void identificationRunsInParallelWithinPoolLimit();
};

void TestDiscovery::identificationReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("readStatus");
    QTest::addColumn<QString>("modelText");
    QTest::addColumn<bool>("available");
    QTest::addColumn<int>("model");
    QTest::newRow("4820-AB") << QByteArray("Tarsel Ltd.,Xentra 4820-AB,48209481,2.4.7") << 0 << "4820-AB LXI"
                             << true << 4820;
    QTest::newRow("one-letter subtype")
        << QByteArray("Tarsel Ltd.,Xentra 4820-A") << 0 << "4820-A LXI" << true << 4820;
    QTest::newRow("another model") << QByteArray("Tarsel Ltd.,Xentra 4830-BA,1,1") << 0 << "4830-BA LXI"
                                   << false << 4830;
    QTest::newRow("another maker") << QByteArray("Other Instruments,Xentra 4820-AB,1,1") << 0 << "LXI"
                                   << false << 0;
    QTest::newRow("no reply") << QByteArray() << int(VI_ERROR_TMO) << "LXI" << false << 0;
    // 24 characters of prefix, then a 300-character token: only the first
    // 255 bytes are read, and the subtype is still its first two characters.
    QTest::newRow("reply longer than 255 bytes")
        << QByteArray("Tarsel Ltd.,Xentra 4820-") + QByteArray(300, 'B') << 0 << "4820-BB LXI" << true
        << 4820;
}

void TestDiscovery::identificationReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, readStatus);
    QFETCH(QString, modelText);
    QFETCH(bool, available);
    QFETCH(int, model);
    fake::VisaResource resource = tcpip(QStringLiteral("10.0.0.5"), reply);
    resource.deviceName = QStringLiteral("inst0");
    resource.readStatus = readStatus;
    visa().resources << resource;

    Adapter adapter;
    ViSession rm = 0;
    viOpenDefaultRM(&rm);
    getResourceInfo_params_t item{&adapter, rm, record(resource.descriptor)};
    getResourceInfo(&item);

    QCOMPARE(item.info.columns, (QStringList{"10.0.0.5", "inst0", modelText}));
    QCOMPARE(item.info.available, available);
    QCOMPARE(int(item.info.model), model);
    const QString d = resource.descriptor;
    QCOMPARE(visa().count(QStringLiteral("viWrite(%1, *IDN?)").arg(d)), 1);
    QCOMPARE(visa().count(QStringLiteral("viRead(%1, 255)").arg(d)), 1);
    QCOMPARE(visa().count(QStringLiteral("viClose(%1)").arg(d)), 1);
}

void TestDiscovery::otherInterfacesAreOpenedAndClosedOnly()
{
    fake::VisaResource vxi;
    vxi.descriptor = QStringLiteral("VXI0::5::INSTR");
    vxi.intfType = VI_INTF_VXI;
    fake::VisaResource serial;
    serial.descriptor = QStringLiteral("ASRL1::INSTR");
    serial.intfType = VI_INTF_ASRL;
    visa().resources << vxi << serial;
    Adapter adapter;
    ViSession rm = 0;
    viOpenDefaultRM(&rm);
    for (const fake::VisaResource &resource : {vxi, serial}) {
        getResourceInfo_params_t item{&adapter, rm, record(resource.descriptor)};
        getResourceInfo(&item);
        QVERIFY(item.info.columns.isEmpty());
        QVERIFY(!item.info.available);
    }
    QCOMPARE(visa().count(QStringLiteral("viWrite")), 0);
    QCOMPARE(visa().count(QStringLiteral("viClose(VXI0::5::INSTR)")), 1);
    QCOMPARE(visa().count(QStringLiteral("viClose(ASRL1::INSTR)")), 1);
}

void TestDiscovery::busyResourceIsReportedAndSkipped()
{
    fake::VisaResource busy = tcpip(QStringLiteral("10.0.0.6"), "Tarsel Ltd.,Xentra 4820-AB");
    busy.openStatus = VI_ERROR_RSRC_BUSY;
    visa().resources << busy;
    Adapter adapter;
    ViSession rm = 0;
    viOpenDefaultRM(&rm);
    getResourceInfo_params_t item{&adapter, rm, record(busy.descriptor)};
    StdoutCapture capture;
    getResourceInfo(&item);
    QCOMPARE(capture.text(),
             QStringLiteral("viOpen() for TCPIP0::10.0.0.6::INSTR failed with VI_ERROR_RSRC_BUSY!\n"));
    QVERIFY(item.info.columns.isEmpty());
    QVERIFY(!item.info.available);
    QCOMPARE(visa().count(QStringLiteral("viWrite")), 0);
}

void TestDiscovery::orderOfDescriptors_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("aBeforeB");
    QTest::addColumn<bool>("bBeforeA");
    QTest::newRow("10.0.0.9 before 10.0.0.10") << "TCPIP0::10.0.0.9::INSTR"
                                               << "TCPIP0::10.0.0.10::INSTR" << true << false;
    QTest::newRow("board 0 before board 1") << "TCPIP0::192.168.1.200::INSTR"
                                            << "TCPIP1::10.0.0.1::INSTR" << true << false;
    QTest::newRow("case of the interface name ignored") << "tcpip0::10.0.0.2::INSTR"
                                                        << "TCPIP0::10.0.0.3::INSTR" << true << false;
    QTest::newRow("host names on one board are equal") << "TCPIP0::alpha::INSTR"
                                                       << "TCPIP0::beta::INSTR" << false << false;
    QTest::newRow("VXI by board") << "VXI2::1::INSTR"
                                  << "VXI10::1::INSTR" << true << false;
    QTest::newRow("different interfaces by text") << "GPIB0::5::INSTR"
                                                  << "TCPIP0::10.0.0.1::INSTR" << true << false;
}

void TestDiscovery::orderOfDescriptors()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, aBeforeB);
    QFETCH(bool, bBeforeA);
    QCOMPARE(descriptorLessThan(record(a), record(b)), aBeforeB);
    QCOMPARE(descriptorLessThan(record(b), record(a)), bBeforeA);
}

void TestDiscovery::searchSortsAndShowsProgress()
{
    visa().resources << tcpip(QStringLiteral("10.0.0.10"), "Tarsel Ltd.,Xentra 4820-AB")
                     << tcpip(QStringLiteral("10.0.0.9"), "Tarsel Ltd.,Xentra 4820-AA");
    for (fake::VisaResource &resource : visa().resources) {
        resource.replyDelayMs = 100;
    }
    QWidget parent;
    Adapter adapter;
    QString title;
    QString label;
    QTimer peek;
    connect(&peek, &QTimer::timeout, &peek, [&] {
        if (auto *dialog = parent.findChild<QProgressDialog *>()) {
            if (dialog->isVisible()) {
                title = dialog->windowTitle();
                label = dialog->labelText();
            }
        }
    });
    peek.start(5);
    const QList<resourceInfo_t> found = discoverResources(&adapter, &parent);
    QCOMPARE(found.size(), 2);
    QCOMPARE(found.at(0).descriptor, QStringLiteral("TCPIP0::10.0.0.9::INSTR"));
    QCOMPARE(found.at(0).columns.value(2), QStringLiteral("4820-AA LXI"));
    QCOMPARE(found.at(1).descriptor, QStringLiteral("TCPIP0::10.0.0.10::INSTR"));
    QCOMPARE(title, QStringLiteral("Xentra 4820"));
    QCOMPARE(label, QStringLiteral("Searching..."));
    // Everything opened during the search is closed again.
    QCOMPARE(visa().openSessions(), 0);
}

void TestDiscovery::nothingToSearchGivesEmptyList_data()
{
    QTest::addColumn<int>("rmStatus");
    QTest::addColumn<int>("findStatus");
    QTest::newRow("no resource manager") << int(VI_ERROR_SYSTEM_ERROR) << 0;
    QTest::newRow("nothing found") << 0 << int(VI_ERROR_RSRC_NFOUND);
    QTest::newRow("count of zero") << 0 << 0;
}

void TestDiscovery::nothingToSearchGivesEmptyList()
{
    QFETCH(int, rmStatus);
    QFETCH(int, findStatus);
    visa().openDefaultRMStatus = rmStatus;
    visa().findStatus = findStatus;
    QWidget parent;
    Adapter adapter;
    QVERIFY(discoverResources(&adapter, &parent).isEmpty());
    QVERIFY(parent.findChild<QProgressDialog *>() == nullptr);
    QCOMPARE(visa().openSessions(), 0);
}

void TestDiscovery::identificationRunsInParallelWithinPoolLimit_data()
{
    QTest::addColumn<int>("units");
    QTest::addColumn<int>("poolLimit");
    QTest::newRow("3 resources") << 3 << 3;
    QTest::newRow("200 resources") << 200 << 128;
}

void TestDiscovery::identificationRunsInParallelWithinPoolLimit()
{
    QFETCH(int, units);
    QFETCH(int, poolLimit);
    for (int i = 0; i < units; ++i) {
        fake::VisaResource resource =
            tcpip(QStringLiteral("10.0.%1.%2").arg(i / 250).arg(i % 250 + 1), "Tarsel Ltd.,Xentra 4820-AB");
        resource.replyDelayMs = 30;
        visa().resources << resource;
    }
    QWidget parent;
    Adapter adapter;
    const QList<resourceInfo_t> found = discoverResources(&adapter, &parent);
    QCOMPARE(found.size(), units);
    QVERIFY(std::all_of(found.cbegin(), found.cend(), [](const resourceInfo_t &r) { return r.available; }));
    QCOMPARE(QThreadPool::globalInstance()->maxThreadCount(), poolLimit);
    QVERIFY2(visa().peakInFlight() > 1, qPrintable(QString::number(visa().peakInFlight())));
    QVERIFY(visa().peakInFlight() <= poolLimit);
}

TS_TEST_MAIN(TestDiscovery)
#include "test_discovery.moc"
