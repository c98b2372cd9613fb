#pragma once

#include <QDialog>

class QPushButton;
class presetHost;
class ts4820fp_presetList;

// "Save preset": stores the current relay state on the unit under a new or
// an existing name, after checking the name and asking before overwriting.
class savePresetDialog : public QDialog
{
    Q_OBJECT
public:
    savePresetDialog(QWidget *parent, presetHost *host);

public slots:
    void savePreset();
    void newPresetNameValidate(QString txt);

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool ask(const QString &question);
    void showError(const QString &text);

    presetHost *m_host;
    ts4820fp_presetList *m_presetList;
    QPushButton *m_saveButton;
    bool nameValid = false;
};
