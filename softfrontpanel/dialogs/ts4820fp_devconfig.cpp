#include "ts4820fp_devconfig.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <cstring>

#include "demoidentity.h"
#include "driverstatus.h"
#include "ts1900fp_app.h"
#include "ts4820.h"
#include "ts4820inst.h"

namespace {

// The string reads after the subtype, serial number, MAC address and LXI
// class, in the order the unit is asked.
struct StringRead
{
    ViAttr attribute;
    ts4820fp_devConfig::Field field;
    const char *callText;
};

const StringRead kPlainReads[] = {
    {ts4820_ATTR_DESCRIPTION, ts4820fp_devConfig::Description,
     "ts4820_getStringAttribute(parent->d_vi, ts4820_ATTR_DESCRIPTION, strVal)"},
    {ts4820_ATTR_ASSET_NO, ts4820fp_devConfig::AssetNumber,
     "ts4820_getStringAttribute(parent->d_vi, ts4820_ATTR_ASSET_NO, strVal)"},
    {ts4820_ATTR_CURRENT_HOSTNAME, ts4820fp_devConfig::HostName,
     "ts4820_getStringAttribute(parent->d_vi, ts4820_ATTR_CURRENT_HOSTNAME, strVal)"},
    {ts4820_ATTR_CURRENT_IPADDR, ts4820fp_devConfig::IpAddress,
     "ts4820_getStringAttribute(parent->d_vi, ts4820_ATTR_CURRENT_IPADDR, strVal)"},
    {ts4820_ATTR_CURRENT_NETMASK, ts4820fp_devConfig::SubnetMask,
     "ts4820_getStringAttribute(parent->d_vi, ts4820_ATTR_CURRENT_NETMASK, strVal)"},
    {ts4820_ATTR_CURRENT_GATEWAY, ts4820fp_devConfig::Gateway,
     "ts4820_getStringAttribute(parent->d_vi, ts4820_ATTR_CURRENT_GATEWAY, strVal)"},
    {ts4820_ATTR_CURRENT_DNS1, ts4820fp_devConfig::Dns1,
     "ts4820_getStringAttribute(parent->d_vi, ts4820_ATTR_CURRENT_DNS1, strVal)"},
    {ts4820_ATTR_CURRENT_DNS2, ts4820fp_devConfig::Dns2,
     "ts4820_getStringAttribute(parent->d_vi, ts4820_ATTR_CURRENT_DNS2, strVal)"},
};

const char kIpAddressCall[] = "ts4820_getStringAttribute(parent->d_vi, ts4820_ATTR_CURRENT_IPADDR, strVal)";

// A host of the demo address's /24 network, e.g. ".1" for its gateway.
QString demoHost(int host)
{
    return demoidentity::address().section(QLatin1Char('.'), 0, 2) + QLatin1Char('.') + QString::number(host);
}

void addRow(QGridLayout *grid, const QString &label, QLineEdit *field)
{
    // An empty grid still reports one row.
    const int row = grid->isEmpty() ? 0 : grid->rowCount();
    if (!label.isEmpty()) {
        grid->addWidget(new QLabel(label), row, 0);
    }
    grid->addWidget(field, row, 1);
}

} // namespace

ts4820fp_devConfig::ts4820fp_devConfig(QWidget *mainWindow, ts4820inst *instrument)
    : QDialog(mainWindow), m_instrument(instrument)
{
    setWindowTitle(QLatin1String("Xentra ") + ts1900fp_app::modelText
                   + QLatin1String(" Device Information & Status"));
    if (mainWindow) {
        setWindowIcon(mainWindow->windowIcon());
    }
    for (QLineEdit *&field : m_fields) {
        field = new QLineEdit;
        field->setReadOnly(true);
    }
    // The host-name width is taken from the demo text, so set it first.
    showDemoIdentity();
    buildLayout();
    loadDevInfo();
}

void ts4820fp_devConfig::showDemoIdentity()
{
    m_fields[Model]->setText(QLatin1String("4820-") + m_instrument->subType);
    m_fields[LxiClass]->setText(QStringLiteral("Class A"));
    m_fields[SerialNumber]->setText(QStringLiteral("48209481"));
    m_fields[MacAddress]->setText(QStringLiteral("02:00:00:01:02:03"));
    m_fields[HostName]->setText(demoidentity::hostName());
    m_fields[IpAddress]->setText(demoidentity::address());
    m_fields[SubnetMask]->setText(QStringLiteral("255.255.255.0"));
    m_fields[Gateway]->setText(demoHost(1));
    m_fields[Dns1]->setText(demoHost(100));
    m_fields[Dns2]->setText(demoHost(101));
    m_fields[Description]->setText(
        QStringLiteral("Tarsel Ltd - Xentra 4820 - 48209481 - LXI Matrix Switching Unit (DEMO)"));
    m_fields[AssetNumber]->clear();
}

void ts4820fp_devConfig::buildLayout()
{
    const int w = 10 * fontMetrics().height();
    m_fields[Model]->setFixedWidth(w);
    m_fields[SerialNumber]->setFixedWidth(w);
    for (Field f : {LxiClass, MacAddress, IpAddress, SubnetMask, Gateway, Dns1, Dns2}) {
        m_fields[f]->setMaximumWidth(w);
    }
    QLineEdit *host = m_fields[HostName];
    host->setMinimumWidth(int(std::ceil(1.5 * host->fontMetrics().horizontalAdvance(host->text()))));

    auto *instrumentGroup = new QGroupBox(QStringLiteral("Instrument Information"));
    auto *instrumentGrid = new QGridLayout(instrumentGroup);
    addRow(instrumentGrid, QStringLiteral("Model:"), m_fields[Model]);
    addRow(instrumentGrid, QStringLiteral("LXI Class:"), m_fields[LxiClass]);
    addRow(instrumentGrid, QStringLiteral("Serial Number:"), m_fields[SerialNumber]);
    addRow(instrumentGrid, QStringLiteral("MAC Address:"), m_fields[MacAddress]);

    auto *ipGroup = new QGroupBox(QStringLiteral("Current IP Configuration"));
    auto *ipGrid = new QGridLayout(ipGroup);
    addRow(ipGrid, QStringLiteral("Hostname:"), m_fields[HostName]);
    addRow(ipGrid, QStringLiteral("IP Address:"), m_fields[IpAddress]);
    addRow(ipGrid, QStringLiteral("Subnet Mask:"), m_fields[SubnetMask]);
    addRow(ipGrid, QStringLiteral("Gateway:"), m_fields[Gateway]);
    addRow(ipGrid, QStringLiteral("DNS Servers:"), m_fields[Dns1]);
    addRow(ipGrid, QString(), m_fields[Dns2]);

    auto *userGroup = new QGroupBox(QStringLiteral("User-Defined Data"));
    auto *userGrid = new QGridLayout(userGroup);
    addRow(userGrid, QStringLiteral("Description:"), m_fields[Description]);
    addRow(userGrid, QStringLiteral("Asset Number:"), m_fields[AssetNumber]);

    auto *groupsRow = new QHBoxLayout;
    groupsRow->addWidget(instrumentGroup);
    groupsRow->addWidget(ipGroup);

    auto *page = new QWidget;
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->addLayout(groupsRow);
    pageLayout->addWidget(userGroup);

    auto *tabs = new QTabWidget;
    tabs->addTab(page, QStringLiteral("Instrument"));

    auto *closeButton = new QPushButton(QStringLiteral("Close"));
    closeButton->setAutoDefault(false);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(buttonRow);
}

void ts4820fp_devConfig::openWebInterface()
{
    QString address;
    if (m_instrument->demo) {
        address = demoidentity::address();
    } else {
        const ViSession vi = m_instrument->d_vi;
        char strVal[ts4820_STRING_ATTRIBUTE_BUFFER_SIZE];
        std::memset(strVal, 0, sizeof strVal);
        // Not every unit publishes a host name; its address serves as well,
        // so only a failure of that second read is worth a box.
        if (ts4820_getStringAttribute(vi, ts4820_ATTR_CURRENT_HOSTNAME, strVal) < 0) {
            std::memset(strVal, 0, sizeof strVal);
            const ViStatus status = ts4820_getStringAttribute(vi, ts4820_ATTR_CURRENT_IPADDR, strVal);
            reportDriverStatus(vi, status, kIpAddressCall);
        }
        strVal[sizeof strVal - 1] = '\0';
        address = QString::fromLatin1(strVal);
    }
    QDesktopServices::openUrl(QUrl(QStringLiteral("http://%1").arg(address)));
}

void ts4820fp_devConfig::loadDevInfo()
{
    if (!m_instrument->demo) {
        readDevInfo();
    }
    // Long texts show from their start, not scrolled to their end.
    for (QLineEdit *field : m_fields) {
        field->setCursorPosition(0);
    }
}

void ts4820fp_devConfig::readDevInfo()
{
    m_fields[Model]->setText(QStringLiteral("4820-%1").arg(readString(
        ts4820_ATTR_SUB_TYPE, "ts4820_getStringAttribute(parent->d_vi, ts4820_ATTR_SUB_TYPE, strVal)")));
    m_fields[SerialNumber]->setText(readSerialNumber());
    m_fields[MacAddress]->setText(
        readString(ts4820_ATTR_ETH_ADDR,
                   "ts4820_getStringAttribute(parent->d_vi, ts4820_ATTR_ETH_ADDR, strVal)")
            .toUpper());
    m_fields[LxiClass]->setText(
        QStringLiteral("Class %1")
            .arg(readString(ts4820_ATTR_LXI_CLASS,
                            "ts4820_getStringAttribute(parent->d_vi, ts4820_ATTR_LXI_CLASS, strVal)")));
    for (const StringRead &read : kPlainReads) {
        m_fields[read.field]->setText(readString(read.attribute, read.callText));
    }
}

void ts4820fp_devConfig::lxiForced()
{
    // Kept for the meta-object's slot order; nothing is connected to it.
}

QString ts4820fp_devConfig::readString(ViAttr attribute, const char *callText) const
{
    const ViSession vi = m_instrument->d_vi;
    char strVal[ts4820_STRING_ATTRIBUTE_BUFFER_SIZE];
    std::memset(strVal, 0, sizeof strVal);
    reportDriverStatus(vi, ts4820_getStringAttribute(vi, attribute, strVal), callText);
    // A failed read shows whatever the driver left, normally nothing.
    strVal[sizeof strVal - 1] = '\0';
    return QString::fromLatin1(strVal);
}

QString ts4820fp_devConfig::readSerialNumber() const
{
    const ViSession vi = m_instrument->d_vi;
    ViInt32 val = 0;
    reportDriverStatus(vi, ts4820_getAttribute(vi, ts4820_ATTR_SER_NUM, &val),
                       "ts4820_getAttribute(parent->d_vi, ts4820_ATTR_SER_NUM, &val)");
    return QStringLiteral("%1").arg(quint32(val), 8, 16, QLatin1Char('0'));
}
