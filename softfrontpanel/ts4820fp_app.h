#pragma once

#include <QString>

#include <functional>

#include "presethost.h"
#include "ts1900fp_appspc.h"

class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class Schematic;
class loadPresetDialog;
class managePresetsDialog;
class openCloseDialog;
class savePresetDialog;
class ts4820fp_devConfig;
class ts4820inst;

// The Xentra 4820's main window: the frame connected to a unit (or demo
// mode), the schematic in a scroll area above a row of controls, the
// product's buttons in the tool column, and the panel commands.
class ts4820fp_App : public ts1900fp_AppSPC, public presetHost
{
    Q_OBJECT
public:
    explicit ts4820fp_App(ts1900fp_genSPC *adapter, QWidget *parent = nullptr);
    ~ts4820fp_App() override;

    ts4820inst *instrument = nullptr;
    Schematic *schematic = nullptr;
    QComboBox *scaleCombo = nullptr;
    ts4820fp_devConfig *devConfig = nullptr;
    QPushButton *undoButton = nullptr;
    QPushButton *undoAllButton = nullptr;
    QPushButton *applyButton = nullptr;
    QLabel *presetLabel = nullptr;
    openCloseDialog *ocDialog = nullptr;
    loadPresetDialog *loadDialog = nullptr;
    savePresetDialog *saveDialog = nullptr;
    managePresetsDialog *manageDialog = nullptr;

    QScrollArea *scrollArea = nullptr;
    QPushButton *saveImageButton = nullptr;
    QPushButton *refreshButton = nullptr;

    // Asks for the image file; replaceable so that tests need no native
    // file dialog.
    static std::function<QString(QWidget *, const QString &proposed)> askImagePath;

    // presetHost
    ts4820inst *presetInstrument() override { return instrument; }
    QString presetLabelText() const override;
    bool hasUnappliedChanges() const override;
    void refreshFromDevice() override { refresh(); }

public slots:
    void applyOpenClose(int row, int col, bool close);
    void refresh(bool justPresets);
    void refresh();
    void writeRelayStates();
    void undo();
    void undoAll();
    void idPressed(bool state);
    void clearAliases(int col);
    void openCloseExpressionValidate(QString txt);
    void saveImage();
    void rescaleSchematic(int index);
    void relayChanged();
    void aliasEdited();
    void showOpenClose();
    void resetDevice();

private:
    QString chooseSubType();
    void buildSchematicArea(QLayout *content);
    QLayout *buildControlRow();
    void createDialogs();
    void loadVoltageReference();
    void addToolButtons();
    void addHardwareInfo();
    void setUndoButtons(bool enabled);
};
