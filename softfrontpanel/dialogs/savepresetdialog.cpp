#include "savepresetdialog.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>

#include "helptext.h"
#include "presetfile.h"
#include "presethost.h"
#include "ts4820fp_presetlist.h"
#include "ts4820inst.h"

savePresetDialog::savePresetDialog(QWidget *parent, presetHost *host) : QDialog(parent), host(host)
{
    setWindowTitle(QStringLiteral("Save preset"));
    presetList = new ts4820fp_presetList(this, host);
    presetList->setEditable(true);
    // A typed name becomes a preset only through "Save", never by Enter.
    presetList->setInsertPolicy(QComboBox::NoInsert);
    setHelpText(presetList, QStringLiteral("List of presets stored on the device. Enter here the "
                                           "name of new preset to save."));
    saveButton = new QPushButton(QStringLiteral("Save"));
    setHelpText(saveButton, QStringLiteral("Save the current device state as a new preset on the device."));
    layOutPresetDialog(this, QStringLiteral("Existing presets / new preset name:"), presetList, saveButton);

    connect(saveButton, &QPushButton::clicked, this, &savePresetDialog::savePreset);
    connect(presetList, &QComboBox::editTextChanged, this, &savePresetDialog::newPresetNameValidate);
}

void savePresetDialog::newPresetNameValidate(QString txt)
{
    const QString current = presetList->currentText();
    if (current.length() > presetfile::kMaxNameLength) {
        // Re-enters this slot with the shortened text, which is what gets
        // validated: the user must be judged on the name the field shows.
        presetList->setEditText(current.left(presetfile::kMaxNameLength));
        return;
    }
    nameValid = presetfile::isPresetName(txt);
}

void savePresetDialog::savePreset()
{
    const QString name = presetList->currentText();
    if (name.isEmpty()) {
        showError(QStringLiteral("Please enter the name of the preset to save."));
        return;
    }
    if (!nameValid) {
        showError(QStringLiteral("New preset name is invalid. It may contain only alphanumeric "
                                 "characters, hyphens and underscores."));
        return;
    }
    // The unit's list may have changed while the dialog was open.
    presetList->refreshPresets(host->presetLabelText());
    const bool exists = presetList->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0;
    // Keep the typed name in the field in case the user stops below.
    presetList->setEditText(name);
    if (exists
        && !ask(QStringLiteral("Preset '%1' already exists. Do you want to overwrite it?").arg(name))) {
        return;
    }
    ts4820inst *model = host->presetInstrument();
    if (host->hasUnappliedChanges()) {
        if (!ask(QStringLiteral("The current relay configuration hasn't been written to the device "
                                "yet. It will be done when the preset is saved. Do you want to "
                                "continue?"))) {
            return;
        }
        // The unit stores what it holds, so the pending state goes first.
        model->writeState();
    }
    model->storePreset(name);
    host->refreshFromDevice();
    accept();
}

void savePresetDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    presetList->refreshPresets(host->presetLabelText());
    newPresetNameValidate(presetList->currentText());
}

bool savePresetDialog::ask(const QString &question)
{
    return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}

void savePresetDialog::showError(const QString &text)
{
    QMessageBox::critical(this, windowTitle(), text, QMessageBox::Ok);
}
