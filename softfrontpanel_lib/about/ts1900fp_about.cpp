#include "ts1900fp_about.h"

#include <QDesktopServices>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "clickablelabel.h"
#include "kissfftlicense.h"
#include "qtlicense.h"
#include "qwtlicense.h"

namespace {
const char licensesPageUrl[] = "https://www.tarsel-instruments.com/about/third-party-license-usage/";
}

ts1900fp_About::ts1900fp_About(const char *panelRevision, const char *driverRevision, const char *model,
                               const char *copyrightText, QWidget *parent, const char *commonLibraryRevision,
                               const char *qwtVersion, bool withKissFFT)
    : QDialog(parent)
{
    const QString modelText = QString::fromLocal8Bit(model);
    setWindowTitle(tr("About Xentra %1 Soft Front Panel").arg(modelText));
    setMinimumSize(380, 300);
    resize(380, 300);

    auto *product = new QLabel(QStringLiteral("<font size='5' bold>Xentra %1 VXIplug&play "
                                              "Driver<br>Soft Front Panel Application</font>")
                                   .arg(modelText));
    product->setAlignment(Qt::AlignCenter);
    auto *copyright = new QLabel(QString::fromLocal8Bit(copyrightText));
    copyright->setAlignment(Qt::AlignCenter);

    auto *logo = new QLabel;
    logo->setStyleSheet(QStringLiteral("QLabel {background-color:#1A2C5E}"));
    logo->setContentsMargins(10, 10, 10, 10);
    logo->setPixmap(QPixmap(QStringLiteral(":/tarsel-logo.bmp")));

    auto *column = new QVBoxLayout;
    column->addWidget(buildLicensesGroup(qwtVersion, withKissFFT));
    column->addWidget(buildSoftwareGroup(panelRevision, driverRevision, commonLibraryRevision));
    column->addWidget(buildHardwareGroup());
    column->addLayout(buildButtonRow());

    auto *row = new QHBoxLayout;
    row->addWidget(logo, 0, Qt::AlignTop);
    row->addLayout(column);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(product);
    layout->addWidget(copyright);
    layout->addSpacing(fontMetrics().height());
    layout->addLayout(row);
}

QFormLayout *ts1900fp_About::newForm()
{
    const int h = fontMetrics().height();
    auto *form = new QFormLayout;
    form->setHorizontalSpacing(h);
    form->setContentsMargins(h, h, h, h);
    return form;
}

QWidget *ts1900fp_About::buildLicensesGroup(const char *qwtVersion, bool withKissFFT)
{
    const int h = fontMetrics().height();
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(h);
    grid->setContentsMargins(h, h, h, h);
    int row = 0;

    // "Qt" is a link of its own, directly followed by the rest of the caption.
    const QString runtimeVersion = QString::fromLatin1(qVersion());
    auto *qtLink = new clickableLabel(QStringLiteral("Qt"));
    connect(qtLink, &clickableLabel::clicked, this, [this] { QMessageBox::aboutQt(this); });
    auto *qtCaption = new QHBoxLayout;
    qtCaption->setSpacing(0);
    qtCaption->addWidget(qtLink);
    qtCaption->addWidget(new QLabel(tr(" libraries version %1:").arg(runtimeVersion)));
    qtCaption->addStretch();
    grid->addLayout(qtCaption, row, 0);
    auto *qtLicenseLink = new clickableLabel(qtLicense::linkTextFor(runtimeVersion));
    connect(qtLicenseLink, &clickableLabel::clicked, this, &ts1900fp_About::showQtLicense);
    grid->addWidget(qtLicenseLink, row++, 1);

    if (qwtVersion) {
        const QString version = QString::fromLatin1(qwtVersion);
        grid->addWidget(new QLabel(tr("Qwt library version %1:").arg(version)), row, 0);
        auto *link = new clickableLabel(QStringLiteral("LGPL v2.1"));
        connect(link, &clickableLabel::clicked, this, &ts1900fp_About::showQwtLicense);
        grid->addWidget(link, row++, 1);
    }
    if (withKissFFT) {
        grid->addWidget(new QLabel(tr("KISS FFT library:")), row, 0);
        auto *link = new clickableLabel(QStringLiteral("BSD"));
        connect(link, &clickableLabel::clicked, this, &ts1900fp_About::showKissFFTLicense);
        grid->addWidget(link, row++, 1);
    }
    auto *learnMore = new clickableLabel(tr("Learn more about licenses"));
    connect(learnMore, &clickableLabel::clicked, this, &ts1900fp_About::openLicensesWebPage);
    grid->addWidget(learnMore, row, 0, 1, 2);

    auto *group = new QGroupBox(tr("Third-Party Licenses"));
    group->setLayout(grid);
    return group;
}

QWidget *ts1900fp_About::buildSoftwareGroup(const char *panelRevision, const char *driverRevision,
                                            const char *commonLibraryRevision)
{
    m_softwareForm = newForm();
    if (commonLibraryRevision) {
        m_commonLibraryRevision = new QLabel(QString::fromLocal8Bit(commonLibraryRevision));
        m_softwareForm->addRow(tr("Xentra Common Library:"), m_commonLibraryRevision);
    }
    m_driverRevision = new QLabel(QString::fromLocal8Bit(driverRevision));
    m_softwareForm->addRow(tr("Instrument Driver:"), m_driverRevision);
    m_panelRevision = new QLabel(QString::fromLocal8Bit(panelRevision));
    m_softwareForm->addRow(tr("Soft Front Panel:"), m_panelRevision);

    auto *group = new QGroupBox(tr("Software Revisions"));
    group->setLayout(m_softwareForm);
    return group;
}

QWidget *ts1900fp_About::buildHardwareGroup()
{
    // The value labels wait outside the form until the first module is known.
    m_hardwareForm = newForm();
    m_model = new QLabel(this);
    m_revision = new QLabel(this);
    m_serialNumber = new QLabel(this);
    m_model->hide();
    m_revision->hide();
    m_serialNumber->hide();

    auto *group = new QGroupBox(tr("Hardware Information"));
    group->setLayout(m_hardwareForm);
    return group;
}

QLayout *ts1900fp_About::buildButtonRow()
{
    m_previous = new QPushButton(tr("< Previous"));
    m_next = new QPushButton(tr("Next >"));
    m_ok = new QPushButton(tr("OK"));
    m_previous->hide();
    m_next->hide();
    m_previous->setEnabled(false);
    connect(m_previous, &QPushButton::clicked, this, &ts1900fp_About::prev);
    connect(m_next, &QPushButton::clicked, this, &ts1900fp_About::next);
    connect(m_ok, &QPushButton::clicked, this, &QWidget::hide);

    auto *row = new QHBoxLayout;
    row->addWidget(m_previous);
    row->addWidget(m_next);
    row->addWidget(m_ok);
    return row;
}

void ts1900fp_About::addHardwareInfo(const QString &serial, const QString &revision, const QString &model,
                                     const QString &driverRevision, const QString &panelRevision)
{
    if (m_pages.isEmpty()) {
        m_hardwareForm->addRow(tr("Device Model:"), m_model);
        m_hardwareForm->addRow(tr("Revision:"), m_revision);
        m_hardwareForm->addRow(tr("Serial Number:"), m_serialNumber);
        m_model->show();
        m_revision->show();
        m_serialNumber->show();
        m_model->setText(model);
        m_revision->setText(revision);
        m_serialNumber->setText(serial);
        if (!driverRevision.isEmpty()) {
            m_driverRevision->setText(driverRevision);
        }
        if (!panelRevision.isEmpty()) {
            m_panelRevision->setText(panelRevision);
        }
    } else if (m_pages.size() == 1) {
        m_previous->show();
        m_next->show();
    }
    // A page without its own revisions keeps what the labels show now.
    m_pages.append({driverRevision.isEmpty() ? m_driverRevision->text() : driverRevision,
                    panelRevision.isEmpty() ? m_panelRevision->text() : panelRevision, model, revision,
                    serial});
}

void ts1900fp_About::next()
{
    ++m_pageIndex;
    if (m_pageIndex >= m_pages.size() - 1) {
        m_next->setEnabled(false);
    }
    m_previous->setEnabled(true);
    showPage(m_pageIndex);
}

void ts1900fp_About::prev()
{
    --m_pageIndex;
    if (m_pageIndex <= 0) {
        m_previous->setEnabled(false);
    }
    m_next->setEnabled(true);
    showPage(m_pageIndex);
}

void ts1900fp_About::showPage(int index)
{
    if (index < 0 || index >= m_pages.size()) {
        return;
    }
    const HardwarePage &page = m_pages.at(index);
    if (!page.driverRevision.isEmpty()) {
        m_driverRevision->setText(page.driverRevision);
    }
    if (!page.panelRevision.isEmpty()) {
        m_panelRevision->setText(page.panelRevision);
    }
    m_model->setText(page.model);
    m_revision->setText(page.revision);
    m_serialNumber->setText(page.serial);
}

void ts1900fp_About::showKissFFTLicense()
{
    kissFFTLicense viewer(this);
    viewer.exec();
}

void ts1900fp_About::showQtLicense()
{
    qtLicense viewer(this);
    viewer.exec();
}

void ts1900fp_About::showQwtLicense()
{
    qwtLicense viewer(this);
    viewer.exec();
}

void ts1900fp_About::openLicensesWebPage()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(licensesPageUrl)));
}
