#pragma once

#include <QDialog>

#include "visa.h"

class QLineEdit;
class ts4820inst;

// The unit's identity, LAN configuration and user-defined data, read once
// when the panel is built (fixed texts in demo mode), and the way to the
// unit's own web pages.
class ts4820fp_devConfig : public QDialog
{
    Q_OBJECT
public:
    enum Field {
        Model,
        LxiClass,
        SerialNumber,
        MacAddress,
        HostName,
        IpAddress,
        SubnetMask,
        Gateway,
        Dns1,
        Dns2,
        Description,
        AssetNumber,
        FieldCount
    };

    ts4820fp_devConfig(QWidget *mainWindow, ts4820inst *instrument);

    // The read-only fields in layout order.
    QLineEdit *field(int i) const { return m_fields[i]; }

public slots:
    void openWebInterface();
    void loadDevInfo();
    void lxiForced();

private:
    void readDevInfo();
    void buildLayout();
    void showDemoIdentity();
    QString readString(ViAttr attribute, const char *callText) const;
    QString readSerialNumber() const;

    ts4820inst *m_instrument;
    QLineEdit *m_fields[FieldCount];
};
