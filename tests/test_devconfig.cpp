// The device information panel as the operator meets it: what it reads from
// the unit and shows, how failed reads are reported, the demo identity, the
// way to the unit's web pages, and its layout.
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>

#include "demoidentity.h"
#include "fakedriver.h"
#include "modalanswer.h"
#include "testenv.h"
#include "ts4820fp_devconfig.h"
#include "ts4820inst.h"

using fake::driver;
using F = ts4820fp_devConfig;

namespace {

constexpr ViStatus kMissing = ts4820_ERROR_INVALID_ARGUMENT; // the fake lacks the attribute
constexpr ViStatus kCut = ts4820_WARN_TRUNCATED;

// The reads in the order the unit must be asked, the call each failure
// quotes, and what the test unit holds (subtype and serial number apart).
const QList<ViAttr> kReadOrder{
    ts4820_ATTR_SUB_TYPE,         ts4820_ATTR_SER_NUM,        ts4820_ATTR_ETH_ADDR,
    ts4820_ATTR_LXI_CLASS,        ts4820_ATTR_DESCRIPTION,    ts4820_ATTR_ASSET_NO,
    ts4820_ATTR_CURRENT_HOSTNAME, ts4820_ATTR_CURRENT_IPADDR, ts4820_ATTR_CURRENT_NETMASK,
    ts4820_ATTR_CURRENT_GATEWAY,  ts4820_ATTR_CURRENT_DNS1,   ts4820_ATTR_CURRENT_DNS2};
const QString kStr("ts4820_getStringAttribute(parent->d_vi, ts4820_ATTR_%1, strVal)");
const QStringList kCallTexts{
    kStr.arg("SUB_TYPE"),         "ts4820_getAttribute(parent->d_vi, ts4820_ATTR_SER_NUM, &val)",
    kStr.arg("ETH_ADDR"),         kStr.arg("LXI_CLASS"),
    kStr.arg("DESCRIPTION"),      kStr.arg("ASSET_NO"),
    kStr.arg("CURRENT_HOSTNAME"), kStr.arg("CURRENT_IPADDR"),
    kStr.arg("CURRENT_NETMASK"),  kStr.arg("CURRENT_GATEWAY"),
    kStr.arg("CURRENT_DNS1"),     kStr.arg("CURRENT_DNS2")};
const QStringList kUnitHolds{"",
                             "",
                             "00:aa:bb:cc:dd:ee",
                             "C",
                             "Bench unit 3",
                             "TS-00417",
                             "xentra-lab7",
                             "10.20.30.40",
                             "255.255.0.0",
                             "10.20.0.1",
                             "10.20.0.53",
                             "10.20.0.54"};
// The twelve fields in layout order for that unit.
const QStringList kUnitShown{"4820-BB",     "Class C",     "00001234",     "00:AA:BB:CC:DD:EE",
                             "xentra-lab7", "10.20.30.40", "255.255.0.0",  "10.20.0.1",
                             "10.20.0.53",  "10.20.0.54",  "Bench unit 3", "TS-00417"};

void useUnit()
{
    driver().reset();
    driver().unit.subType = "BB"; // not the model's "AB": the unit's own word counts
    driver().unit.serial = 0x1234;
    for (int i = 2; i < kReadOrder.size(); ++i) {
        driver().unit.stringAttributes[kReadOrder[i]] = kUnitHolds[i];
    }
    driver().errorTexts[kMissing] = "Attribute not supported";
    driver().errorTexts[kCut] = "Reply cut short";
    driver().errorTexts[VI_ERROR_CONN_LOST] = "Connection lost";
}

QString messageCall(ViStatus status)
{
    return QString("ts4820_error_message(5, 0x%1, out)").arg(uint(status), 8, 16, QChar('0'));
}

// The log of the twelve reads; a failed one is followed by the fetch of its text.
QStringList readCalls(int failed = -1, ViStatus status = 0)
{
    QStringList calls;
    for (ViAttr a : kReadOrder) {
        const bool serial = a == ts4820_ATTR_SER_NUM;
        calls << QString("ts4820_get%1Attribute(5, %2, out)").arg(serial ? "" : "String").arg(a);
    }
    if (failed >= 0) {
        calls.insert(failed + 1, messageCall(status));
    }
    return calls;
}

QString errorBox(const QString &call, const QString &text)
{
    return call + " failed due to [" + text + "]\nDo you want to exit?";
}

QStringList shown(const ts4820fp_devConfig &d)
{
    QStringList texts;
    for (int i = 0; i < F::FieldCount; ++i) {
        texts << d.field(i)->text();
    }
    return texts;
}

} // namespace

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QStringList urls;
public slots:
    void open(const QUrl &url) { urls << url.toString(); }
};

class TestDevConfig : public QObject
{
    Q_OBJECT
private slots:
    // The twelve reads happen once, in order; a failed one is reported with
    // the call it quotes, its field still set, and the later reads still made.
    void readsAttributesAndReportsFailures_data()
    {
        QTest::addColumn<quint32>("serial");
        QTest::addColumn<int>("read"); // index in kReadOrder of the failing read, -1: none
        QTest::addColumn<ViStatus>("status");
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("shownText");
        const int model = F::Model, serial = F::SerialNumber;
        QTest::newRow("all read, zero-padded serial") << 0x1234u << -1 << 0 << serial << "00001234";
        QTest::newRow("serial top bit set, lower case") << 0xfedcba98u << -1 << 0 << serial << "fedcba98";
        QTest::newRow("model fails") << 0x1234u << 0 << kMissing << model << "4820-";
        QTest::newRow("serial number fails") << 0x1234u << 1 << kMissing << serial << "00000000";
        QTest::newRow("MAC address fails") << 0x1234u << 2 << kMissing << int(F::MacAddress) << "";
        QTest::newRow("LXI class fails") << 0x1234u << 3 << kMissing << int(F::LxiClass) << "Class ";
        QTest::newRow("model warning") << 0x1234u << 0 << kCut << model << "4820-BB";
        QTest::newRow("serial warning") << 0x1234u << 1 << kCut << serial << "00001234";
    }
    void readsAttributesAndReportsFailures()
    {
        QFETCH(quint32, serial);
        QFETCH(int, read);
        QFETCH(ViStatus, status);
        QFETCH(int, field);
        QFETCH(QString, shownText);
        useUnit();
        driver().unit.serial = serial;
        if (read == 0 || read == 1) { // the first read of its function
            driver().script(read ? "ts4820_getAttribute" : "ts4820_getStringAttribute", status, 1);
        } else if (read > 1) {
            driver().unit.stringAttributes.remove(kReadOrder[read]);
        }
        ts4820inst model(5, false, 192, "AB");
        ModalAnswer box({QString(status < 0 ? "No" : "OK"), "No"}, 2000); // and a spare
        ts4820fp_devConfig d(nullptr, &model);
        QCOMPARE(box.answered(), read < 0 ? 0 : 1);
        if (read >= 0) {
            const bool error = status < 0;
            QCOMPARE(box.report().title,
                     QString("Xentra 4820 SFP %1 message").arg(error ? "Error" : "Warning"));
            QCOMPARE(box.report().text, error ? errorBox(kCallTexts[read], "Attribute not supported")
                                              : QString("Warning: [Reply cut short]"));
        }
        QStringList fields = kUnitShown;
        fields[field] = shownText;
        QCOMPARE(shown(d), fields);
        d.show(); // showing it shows what was read, without asking the unit again
        QCOMPARE(driver().callTexts(), readCalls(read, status));
    }

    void brokenConnectionGivesTwelveErrorBoxes()
    {
        useUnit();
        driver().script("ts4820_getStringAttribute", VI_ERROR_CONN_LOST);
        driver().script("ts4820_getAttribute", VI_ERROR_CONN_LOST);
        ts4820inst model(5, false, 192, "AB");
        ModalAnswer boxes(QStringList(13, "No"), 2000); // a thirteenth box would be seen too
        ts4820fp_devConfig d(nullptr, &model);
        QCOMPARE(boxes.answered(), 12);
        for (int i = 0; i < 12; ++i) {
            QCOMPARE(boxes.report(i).text, errorBox(kCallTexts[i], "Connection lost"));
        }
        QCOMPARE(shown(d), QStringList({"4820-", "Class ", "00000000"}) + QStringList(9, ""));
    }

    void webInterfaceOpensUnitAddress_data()
    {
        QTest::addColumn<ViStatus>("hostStatus");
        QTest::addColumn<ViStatus>("ipStatus");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("boxText");
        const QString host = readCalls().at(6);
        const QString ip = readCalls().at(7);
        QTest::newRow("host name") << 0 << 0 << QStringList{host} << "http://xentra-lab7"
                                   << "";
        QTest::newRow("host name warning keeps its text")
            << kCut << 0 << QStringList{host} << "http://xentra-lab7"
            << "";
        QTest::newRow("host name error falls back silently to the IP address")
            << kMissing << 0 << QStringList{host, ip} << "http://10.20.30.40"
            << "";
        QTest::newRow("IP address warning is reported and used")
            << kMissing << kCut << QStringList{host, ip, messageCall(kCut)} << "http://10.20.30.40"
            << "Warning: [Reply cut short]";
        QTest::newRow("IP address error is reported, no address")
            << kMissing << kMissing << QStringList{host, ip, messageCall(kMissing)} << "http://"
            << errorBox(kCallTexts[7], "Attribute not supported");
    }
    void webInterfaceOpensUnitAddress()
    {
        QFETCH(ViStatus, hostStatus);
        QFETCH(ViStatus, ipStatus);
        QFETCH(QStringList, calls);
        QFETCH(QString, url);
        QFETCH(QString, boxText);
        useUnit();
        ts4820inst model(5, false, 192, "AB");
        ts4820fp_devConfig d(nullptr, &model);
        driver().calls.clear();
        driver().script("ts4820_getStringAttribute", hostStatus, 1);
        driver().script("ts4820_getStringAttribute", ipStatus, 1);
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("http", &catcher, "open");
        ModalAnswer box({QString(ipStatus < 0 ? "No" : "OK"), "No"}, 500); // and a spare
        d.openWebInterface();
        QDesktopServices::unsetUrlHandler("http");
        QCOMPARE(box.report().text, boxText);
        QCOMPARE(box.answered(), boxText.isEmpty() ? 0 : 1);
        QCOMPARE(driver().callTexts(), calls);
        QCOMPARE(catcher.urls, QStringList{url});
    }

    // Demo mode shows a fixed identity and calls no driver.
    void demoIdentityAndLayout()
    {
        driver().reset();
        QWidget mainWindow;
        QPixmap icon(16, 16);
        icon.fill(Qt::darkBlue);
        mainWindow.setWindowIcon(QIcon(icon));
        ts4820inst model(0, true, 96, "AA");
        ts4820fp_devConfig d(&mainWindow, &model);
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("http", &catcher, "open");
        d.loadDevInfo();
        d.openWebInterface();
        QDesktopServices::unsetUrlHandler("http");
        const QString address = demoidentity::address();
        const QString net = address.left(address.lastIndexOf('.') + 1); // its /24 network
        QCOMPARE(shown(d),
                 (QStringList{"4820-AA", "Class A", "48209481", "02:00:00:01:02:03", demoidentity::hostName(),
                              address, "255.255.255.0", net + "1", net + "100", net + "101",
                              "Tarsel Ltd - Xentra 4820 - 48209481 - LXI Matrix "
                              "Switching Unit (DEMO)",
                              ""}));
        QCOMPARE(catcher.urls, QStringList{"http://" + address});
        QVERIFY(driver().calls.isEmpty());

        QCOMPARE(d.windowIcon().cacheKey(), mainWindow.windowIcon().cacheKey());
        QCOMPARE(d.windowTitle(), QStringLiteral("Xentra 4820 Device Information & Status"));
        const auto tabs = d.findChildren<QTabWidget *>();
        QVERIFY(tabs.size() == 1 && tabs[0]->count() == 1);
        QCOMPARE(tabs[0]->tabText(0), QStringLiteral("Instrument"));
        // Each field with its group and the label beside it.
        QStringList labels;
        for (int i = 0; i < F::FieldCount; ++i) {
            auto *group = qobject_cast<QGroupBox *>(d.field(i)->parentWidget());
            auto *grid = group ? qobject_cast<QGridLayout *>(group->layout()) : nullptr;
            QVERIFY(grid);
            int row, column, rows, columns;
            grid->getItemPosition(grid->indexOf(d.field(i)), &row, &column, &rows, &columns);
            QLayoutItem *label = column == 1 ? grid->itemAtPosition(row, 0) : nullptr;
            labels << group->title() + " | " + (label ? qobject_cast<QLabel *>(label->widget())->text() : "");
        }
        const QString instrument("Instrument Information | "), ip("Current IP Configuration | "),
            user("User-Defined Data | ");
        QCOMPARE(labels,
                 (QStringList{instrument + "Model:", instrument + "LXI Class:", instrument + "Serial Number:",
                              instrument + "MAC Address:", ip + "Hostname:", ip + "IP Address:",
                              ip + "Subnet Mask:", ip + "Gateway:", ip + "DNS Servers:", ip,
                              user + "Description:", user + "Asset Number:"}));
        const QLineEdit *host = d.field(F::HostName);
        QVERIFY(host->minimumWidth() >= host->fontMetrics().horizontalAdvance(host->text()));
        auto *close = d.findChild<QPushButton *>();
        QCOMPARE(close->text(), QStringLiteral("Close"));
        QVERIFY(!close->autoDefault());
        d.show();
        close->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
    }
};

TS_TEST_MAIN(TestDevConfig)
#include "test_devconfig.moc"
