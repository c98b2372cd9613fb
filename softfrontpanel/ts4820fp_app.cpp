#include "ts4820fp_app.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QVBoxLayout>

#include "driverstatus.h"
#include "helptext.h"
#include "loadpresetdialog.h"
#include "managepresetsdialog.h"
#include "openclosedialog.h"
#include "relayexpression.h"
#include "savepresetdialog.h"
#include "schematic.h"
#include "ts1900fp_about.h"
#include "ts4820.h"
#include "ts4820fp_demosubtypeselect.h"
#include "ts4820fp_devconfig.h"
#include "ts4820inst.h"
#include "waitcursor.h"

std::function<QString(QWidget *, const QString &)> ts4820fp_App::askImagePath = [](QWidget *parent,
                                                                                   const QString &proposed) {
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Save image"), proposed,
                                        QStringLiteral("PNG (*.png)"));
};

namespace {

const int kToolSpacing = 20;

QPushButton *toolButton(const QString &text, const QString &help)
{
    auto *button = new QPushButton(text);
    setHelpText(button, help);
    return button;
}

QString readStringAttribute(ViSession vi, ViAttr attribute, bool *ok)
{
    char value[ts4820_STRING_ATTRIBUTE_BUFFER_SIZE] = {};
    *ok = ts4820_getStringAttribute(vi, attribute, value) >= 0;
    value[sizeof value - 1] = '\0';
    return QString::fromLatin1(value);
}

} // namespace

ts4820fp_App::ts4820fp_App(ts1900fp_genSPC *adapter, QWidget *parent)
    : ts1900fp_AppSPC(adapter, false, nullptr, false, parent)
{
    auto *content = new QVBoxLayout;
    content->setContentsMargins(0, 0, 0, 0);
    setPanelLayout(content);

    const QString subType = chooseSubType();
    instrument = new ts4820inst(d_vi, demo != 0, ts4820inst::rowsForSubType(subType), subType);
    instrument->setReporter(driverStatusBoxes(d_vi));

    buildSchematicArea(content);
    content->addLayout(buildControlRow());
    createDialogs();
    loadVoltageReference();
    schematic->loadVoltageChoices();
    devConfig = new ts4820fp_devConfig(this, instrument);

    showIdentify(true);
    connect(this, &ts1900fp_app::identToggled, this, &ts4820fp_App::idPressed);
    if (!demo) {
        reportDriverStatus(d_vi, ts4820_identify(d_vi, VI_FALSE), "ts4820_identify(d_vi, VI_FALSE)");
    }
    addToolButtons();
    addHardwareInfo();
    connect(this, &ts1900fp_app::resetPressed, this, &ts4820fp_App::resetDevice);

    refresh(false);
    adjustSize();
    centreOnScreen(this);
}

ts4820fp_App::~ts4820fp_App() { delete instrument; }

QString ts4820fp_App::chooseSubType()
{
    if (demo) {
        ts4820fp_demoSubtypeSelect dialog;
        dialog.setWindowIcon(windowIcon());
        dialog.setWindowTitle(QStringLiteral("Xentra 4820"));
        dialog.exec(); // closing it also goes on, with the shown choice
        return dialog.combo->currentData().toString();
    }
    char value[ts4820_STRING_ATTRIBUTE_BUFFER_SIZE] = {};
    // An unreadable subtype is not reported: the larger geometry is assumed.
    if (ts4820_getStringAttribute(d_vi, ts4820_ATTR_SUB_TYPE, value) == VI_SUCCESS) {
        value[sizeof value - 1] = '\0';
        return QString::fromLatin1(value);
    }
    return QStringLiteral("AB");
}

void ts4820fp_App::buildSchematicArea(QLayout *content)
{
    scrollArea = new QScrollArea;
    // The canvas grey through the palette rather than a style sheet, which
    // would reach every relay and name of the schematic inside it.
    QPalette canvas = scrollArea->palette();
    canvas.setColor(QPalette::Window, QColor(0xee, 0xee, 0xee));
    scrollArea->setPalette(canvas);
    scrollArea->setBackgroundRole(QPalette::Window);
    scrollArea->setFocusPolicy(Qt::NoFocus);
    scrollArea->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);
    scrollArea->setAlignment(Qt::AlignHCenter);
    scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    schematic = new Schematic(instrument, scrollArea);
    scrollArea->setMinimumSize(schematic->minimumWidth() + 30, 500);
    scrollArea->setWidget(schematic);
    connect(schematic, &Schematic::changed, this, &ts4820fp_App::relayChanged);
    connect(schematic, &Schematic::aliasChanged, this, &ts4820fp_App::aliasEdited);
    connect(schematic, &Schematic::clearAliasRequested, this, &ts4820fp_App::clearAliases);
    connect(schematic, &Schematic::customRelayToggle, this, &ts4820fp_App::showOpenClose);
    connect(schematic, &Schematic::openCloseClicked, this, &ts4820fp_App::applyOpenClose);
    content->addWidget(scrollArea);
}

QLayout *ts4820fp_App::buildControlRow()
{
    auto *row = new QHBoxLayout;
    scaleCombo = new QComboBox;
    const struct
    {
        const char *text;
        double scale;
    } scales[] = {{"75%", 0.75}, {"100%", 1.0}, {"125%", 1.25}, {"150%", 1.5}};
    for (const auto &choice : scales) {
        scaleCombo->addItem(QLatin1String(choice.text), choice.scale);
    }
    scaleCombo->setCurrentIndex(1); // before connecting: no rescale at start
    setHelpText(scaleCombo, QStringLiteral("Set the display scale for the schematic."));
    saveImageButton =
        toolButton(QStringLiteral("Save image"), QStringLiteral("Save current schematic as image."));
    presetLabel = new QLabel;
    presetLabel->setMinimumWidth(200);
    presetLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setHelpText(presetLabel,
                QStringLiteral("Name of the relay configuration preset currently used on the device."));
    applyButton = toolButton(QStringLiteral("Apply"), QStringLiteral("Write relay states to the device."));
    QFont bold = applyButton->font();
    bold.setBold(true);
    applyButton->setFont(bold);
    undoButton = toolButton(QStringLiteral("Undo"), QStringLiteral("Undo last change of the relay states."));
    undoAllButton = toolButton(QStringLiteral("Undo all"),
                               QStringLiteral("Discards all user changes made to the relays."));

    auto *scaleCaption = new QLabel(QStringLiteral("Scale:"));
    scaleCaption->setBuddy(scaleCombo); // a screen reader names the combo by it
    row->addWidget(scaleCaption);
    row->addWidget(scaleCombo);
    row->addWidget(saveImageButton);
    row->addStretch();
    row->addWidget(presetLabel);
    row->addWidget(applyButton);
    row->addWidget(undoButton);
    row->addWidget(undoAllButton);

    connect(scaleCombo, &QComboBox::currentIndexChanged, this, &ts4820fp_App::rescaleSchematic);
    connect(saveImageButton, &QPushButton::clicked, this, &ts4820fp_App::saveImage);
    connect(undoButton, &QPushButton::clicked, this, &ts4820fp_App::undo);
    connect(undoAllButton, &QPushButton::clicked, this, &ts4820fp_App::undoAll);
    connect(applyButton, &QPushButton::clicked, this, &ts4820fp_App::writeRelayStates);
    return row;
}

void ts4820fp_App::createDialogs()
{
    ocDialog = new openCloseDialog(this, schematic);
    loadDialog = new loadPresetDialog(this, this);
    saveDialog = new savePresetDialog(this, this);
    manageDialog = new managePresetsDialog(this, this);
    connect(ocDialog, &openCloseDialog::openCloseExpressionChanged, this,
            &ts4820fp_App::openCloseExpressionValidate);
}

void ts4820fp_App::loadVoltageReference()
{
    if (demo) {
        instrument->setDemoVoltRef();
        return;
    }
    ts4820inst::VoltRef &table = instrument->voltRef;
    const ViStatus status = reportDriverStatus(
        d_vi, ts4820_getVoltRefInfo(d_vi, &table.n, table.voltages),
        "ts4820_getVoltRefInfo(d_vi, &instrument->voltRef.n, instrument->voltRef.voltages)");
    // Nothing the driver left behind after a failure is trusted.
    if (status < 0 || table.n < 0 || table.n > ts4820inst::kMaxVoltages) {
        table.n = 0;
    }
}

void ts4820fp_App::addToolButtons()
{
    refreshButton = toolButton(QStringLiteral("Refresh"),
                               QStringLiteral("Read and display the current state of the device. "
                                              "All unsaved changes are discarded."));
    connect(refreshButton, &QPushButton::clicked, this, qOverload<>(&ts4820fp_App::refresh));
    m_toolLayout->insertWidget(2, refreshButton);
    m_toolLayout->insertSpacing(3, kToolSpacing);

    QPushButton *load = toolButton(
        QStringLiteral("Load Preset ..."),
        QStringLiteral(
            "Shows dialog where it is possible to set relay states from a previously saved preset."));
    QPushButton *save = toolButton(
        QStringLiteral("Save Preset ..."),
        QStringLiteral("Shows dialog where it is possible to save current relay states as a preset."));
    QPushButton *manage = toolButton(
        QStringLiteral("Manage Presets ..."),
        QStringLiteral("Shows dialog where it is possible to save device presets to files on local "
                       "hard drive,\nor load presets from files to the device."));
    QPushButton *status = toolButton(QStringLiteral("Device Status ..."),
                                     QStringLiteral("Opens the Device Information & Status panel."));
    QPushButton *web =
        toolButton(QStringLiteral("Web Interface ..."),
                   QStringLiteral("Opens the Web Interface in the system's default Internet browser."));
    m_toolLayout->insertWidget(4, load);
    m_toolLayout->insertWidget(5, save);
    m_toolLayout->insertWidget(6, manage);
    m_toolLayout->insertSpacing(7, kToolSpacing);
    m_toolLayout->insertWidget(8, status);
    m_toolLayout->insertWidget(9, web);
    m_toolLayout->insertSpacing(10, kToolSpacing);

    connect(load, &QPushButton::clicked, loadDialog, &QDialog::exec);
    connect(save, &QPushButton::clicked, saveDialog, &QDialog::exec);
    connect(manage, &QPushButton::clicked, manageDialog, &QDialog::exec);
    connect(status, &QPushButton::clicked, devConfig, &QDialog::exec);
    connect(web, &QPushButton::clicked, devConfig, &ts4820fp_devConfig::openWebInterface);
}

void ts4820fp_App::addHardwareInfo()
{
    const QString model = QStringLiteral("4820-%1");
    if (demo) {
        about()->addHardwareInfo(QStringLiteral("48209481 (DEMO)"),
                                 QStringLiteral("1.0.0 (Product: 1.0.0) (DEMO)"),
                                 model.arg(instrument->subType), QString(), QString());
        return;
    }
    const QString notAvailable = QStringLiteral("Not Available");
    ViInt32 value = 0;
    const QString serial = ts4820_getAttribute(d_vi, ts4820_ATTR_SER_NUM, &value) < 0
                               ? notAvailable
                               : QString::asprintf("%08x", quint32(value));
    char driverRevision[ts4820_REVISION_BUFFER_SIZE] = {};
    char instrumentRevision[ts4820_REVISION_BUFFER_SIZE] = {};
    QString revision = notAvailable;
    if (ts4820_revision_query(d_vi, driverRevision, instrumentRevision) >= 0) {
        instrumentRevision[sizeof instrumentRevision - 1] = '\0';
        revision = QString::fromLatin1(instrumentRevision);
    }
    bool ok = false;
    QString product = readStringAttribute(d_vi, ts4820_ATTR_PRODUCT, &ok);
    product = ok ? product : notAvailable;
    QString subType = readStringAttribute(d_vi, ts4820_ATTR_SUB_TYPE, &ok);
    subType = ok ? subType : notAvailable;
    about()->addHardwareInfo(serial, QStringLiteral("%1 (Product: %2)").arg(revision, product),
                             model.arg(subType), QString(), QString());
}

// ---- presetHost ----------------------------------------------------------

QString ts4820fp_App::presetLabelText() const { return presetLabel->text(); }

bool ts4820fp_App::hasUnappliedChanges() const { return applyButton->isEnabled(); }

// ---- commands ------------------------------------------------------------

void ts4820fp_App::setUndoButtons(bool enabled)
{
    undoButton->setEnabled(enabled);
    undoAllButton->setEnabled(enabled);
}

void ts4820fp_App::refresh(bool justPresets)
{
    const WaitCursor wait;
    QString name = instrument->getDefaultPresetName();
    if (name.contains(QLatin1Char('*'))) {
        name.remove(QLatin1Char('*'));
        name += presetNotSavedSuffix();
    }
    presetLabel->setText(name);
    if (!justPresets) {
        schematic->refresh();
        setUndoButtons(false);
        applyButton->setEnabled(false);
    }
}

void ts4820fp_App::refresh() { refresh(false); }

void ts4820fp_App::writeRelayStates()
{
    const WaitCursor wait;
    instrument->writeState();
    refresh(false);
}

void ts4820fp_App::relayChanged()
{
    setUndoButtons(true);
    applyButton->setEnabled(schematic->isModified());
}

void ts4820fp_App::undo()
{
    if (!schematic->undo(true)) {
        setUndoButtons(false);
    }
    applyButton->setEnabled(schematic->isModified());
}

void ts4820fp_App::undoAll()
{
    const WaitCursor wait;
    schematic->undoAll();
    setUndoButtons(false);
    applyButton->setEnabled(schematic->isModified());
}

void ts4820fp_App::aliasEdited()
{
    if (presetLabel->text().contains(presetNotSavedSuffix())) {
        return;
    }
    refresh(true);
}

void ts4820fp_App::applyOpenClose(int row, int col, bool close)
{
    const WaitCursor wait;
    const char state = close ? 1 : 0;
    if (row == -1 && col == -1) {
        schematic->setAll(state);
        schematic->resetVRef(false);
    } else if (row == -1 && col == -2) {
        for (int c = 1; c <= 4; ++c) {
            schematic->setColumn(c, state, true);
        }
    } else if (row == -1 && col >= 0) {
        schematic->setColumn(col, state, true);
    } else if (row >= 0 && col == -1) {
        schematic->setRowXY(row, state);
    } else if (row >= 0 && col == -2) {
        schematic->setRowBuses(row, state);
    }
}

void ts4820fp_App::clearAliases(int col)
{
    const WaitCursor wait;
    if (col == 0 || col == -1) {
        schematic->clearAliases(0);
    }
    if (col == 5 || col == -1) {
        schematic->clearAliases(5);
    }
    if ((col >= 1 && col <= 4) || col == -1) {
        for (int bus = 1; bus <= 4; ++bus) {
            schematic->clearAliases(bus);
        }
    }
}

void ts4820fp_App::showOpenClose()
{
    ocDialog->exec();
    openCloseExpressionValidate(QString());
}

void ts4820fp_App::openCloseExpressionValidate(QString txt)
{
    ocDialog->setSelectionButtonsEnabled(showRelayExpression(*schematic, txt));
}

void ts4820fp_App::idPressed(bool state)
{
    if (demo) {
        QMessageBox::information(this, windowTitle(),
                                 QStringLiteral("This feature is not available, when Soft Front "
                                                "Panel is working in demo mode."));
        return;
    }
    reportDriverStatus(d_vi, ts4820_identify(d_vi, state), "ts4820_identify(d_vi, state)");
}

void ts4820fp_App::resetDevice()
{
    const auto answer = QMessageBox::question(
        this, windowTitle(),
        QStringLiteral("Do you really want to reset the Xentra 4820? All relays on the device "
                       "will be forced to open state."),
        QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) {
        return;
    }
    const WaitCursor wait;
    if (demo) {
        schematic->setAll(0);
        schematic->resetVRef(true);
        for (int col = 0; col <= 5; ++col) {
            schematic->clearAliases(col);
        }
        instrument->writeState();
        instrument->clearCurrentPresetName();
    } else {
        reportDriverStatus(d_vi, ts4820_reset(d_vi), "ts4820_reset(d_vi)");
    }
    refresh(false);
}

void ts4820fp_App::rescaleSchematic(int index)
{
    Q_UNUSED(index);
    schematic->setScale(scaleCombo->currentData().toDouble());
    schematic->update();
}

void ts4820fp_App::saveImage()
{
    QString name = presetLabel->text();
    if (name.contains(presetNotSavedSuffix())) {
        name.remove(presetNotSavedSuffix());
        name += QStringLiteral(" - not saved");
    } else if (name.isEmpty()) {
        name = QStringLiteral("unnamed");
    }
    const QString path = askImagePath(this, name + QStringLiteral(".png"));
    if (path.isEmpty()) {
        return;
    }
    bool saved = false;
    {
        const WaitCursor wait;
        setEnabled(false);
        // Through a temporary file: a failed save leaves a file already at
        // the path as it was.
        QSaveFile file(path);
        const QByteArray format = QFileInfo(path).suffix().toLatin1();
        saved = file.open(QIODevice::WriteOnly)
                && schematic->grab().save(&file, format.isEmpty() ? nullptr : format.constData())
                && file.commit();
        setEnabled(true);
    }
    if (!saved) {
        QMessageBox::critical(this, windowTitle(),
                              QStringLiteral("Failed to save the image as: %1.").arg(path), QMessageBox::Ok);
    }
}
