#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QFormLayout;
class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The About panel: product title, copyright, third-party licences, software
// revisions and the hardware information of the connected module(s), one
// page per module. It lives as long as the frame; OK only hides it.
class ts1900fp_About : public QDialog
{
    Q_OBJECT
public:
    ts1900fp_About(const char *panelRevision, const char *driverRevision, const char *model,
                   const char *copyrightText, QWidget *parent, const char *commonLibraryRevision = nullptr,
                   const char *qwtVersion = nullptr, bool withKissFFT = false);

    void addHardwareInfo(const QString &serial, const QString &revision, const QString &model,
                         const QString &driverRevision = QString(), const QString &panelRevision = QString());

    QLabel *commonLibraryRevisionLabel() const { return m_commonLibraryRevision; }
    QLabel *driverRevisionLabel() const { return m_driverRevision; }
    QLabel *panelRevisionLabel() const { return m_panelRevision; }
    QLabel *modelLabel() const { return m_model; }
    QLabel *revisionLabel() const { return m_revision; }
    QLabel *serialNumberLabel() const { return m_serialNumber; }
    QPushButton *previousButton() const { return m_previous; }
    QPushButton *nextButton() const { return m_next; }
    QPushButton *okButton() const { return m_ok; }
    int pageIndex() const { return m_pageIndex; }

public slots:
    void next();
    void prev();

private slots:
    void showKissFFTLicense();
    void showQtLicense();
    void showQwtLicense();
    void openLicensesWebPage();

private:
    struct HardwarePage
    {
        QString driverRevision;
        QString panelRevision;
        QString model;
        QString revision;
        QString serial;
    };

    QWidget *buildLicensesGroup(const char *qwtVersion, bool withKissFFT);
    QWidget *buildSoftwareGroup(const char *panelRevision, const char *driverRevision,
                                const char *commonLibraryRevision);
    QWidget *buildHardwareGroup();
    QLayout *buildButtonRow();
    QFormLayout *newForm();
    void showPage(int index);

    QLabel *m_commonLibraryRevision = nullptr;
    QLabel *m_driverRevision = nullptr;
    QLabel *m_panelRevision = nullptr;
    QLabel *m_model = nullptr;
    QLabel *m_revision = nullptr;
    QLabel *m_serialNumber = nullptr;
    QFormLayout *m_softwareForm = nullptr;
    QFormLayout *m_hardwareForm = nullptr;
    QPushButton *m_previous = nullptr;
    QPushButton *m_next = nullptr;
    QPushButton *m_ok = nullptr;
    int m_pageIndex = 0;
    QList<HardwarePage> m_pages;
};
