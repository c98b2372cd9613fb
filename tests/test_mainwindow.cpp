// The main window as an operator uses it: the whole main job in demo mode,
// driven through the real windows, and what it does with a real unit (the
// fake driver standing in for it).
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStyleOptionComboBox>

#include "alias.h"
#include "fakedriver.h"
#include "fakevisa.h"
#include "loadpresetdialog.h"
#include "modalanswer.h"
#include "openclosedialog.h"
#include "relaybutton.h"
#include "savepresetdialog.h"
#include "schematic.h"
#include "settingsstore.h"
#include "testenv.h"
#include "ts1900fp_about.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"
#include "ts4820inst.h"

using fake::driver;
using fake::visa;

namespace {

const QString kNotSaved = QStringLiteral(" <i>(preset not saved)</i>");

int offeredSubtype = -1; // what the subtype dialog offered at the last demo start

// The connection box, then (in demo mode) the subtype dialog, answered as
// an operator would.
std::unique_ptr<ts4820fp_App> start(ts4820_spc &adapter, int demoSubtype = -1)
{
    if (demoSubtype < 0) {
        visa().driverSession.host = QStringLiteral("10.1.2.3");
        visa().resources << fake::VisaResource{"TCPIP0::10.1.2.3::INSTR", visa().driverSession,
                                               "Tarsel Ltd.,Xentra 4820-AA,48209481,2.4.7"};
    }
    ModalAnswer answers(demoSubtype < 0
                            ? QList<ModalAnswer::Step>{{QStringLiteral("Auto Find"), nullptr}}
                            : QList<ModalAnswer::Step>{{QStringLiteral("Run In Demo Mode"), nullptr},
                                                       {QStringLiteral("Ok"), [demoSubtype](QWidget *dialog) {
                                                            auto *combo = dialog->findChild<QComboBox *>();
                                                            offeredSubtype = combo->currentIndex();
                                                            combo->setCurrentIndex(demoSubtype);
                                                        }}});
    auto window = std::make_unique<ts4820fp_App>(&adapter, nullptr);
    return answers.done() ? std::move(window) : nullptr;
}

// Chooses the entry of a relay's or a line name's menu.
void choose(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text) {
            return action->trigger();
        }
    }
    QFAIL(qPrintable("no menu entry " + text));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings(settingsstore::organisation(), settingsstore::application()).clear();
        driver().reset();
        visa().reset();
    }

    void demoMainJobEndToEnd();
    void demoWindowControls();
    void groupCommandsThroughTheWindow();
    void vrefChoicesShowWhole();
    void realModeCallsAndBoxes();
    void saveImage();
};

void TestMainWindow::demoMainJobEndToEnd()
{
    ts4820_spc adapter;
    auto window = start(adapter, 1);
    QVERIFY(window);
    Schematic *schematic = window->schematic;
    QCOMPARE(window->instrument->nRows, 192);
    QCOMPARE(offeredSubtype, 0);
    QVERIFY(!window->applyButton->isEnabled() && !window->undoButton->isEnabled());

    // Close relays by click, by menu and by expression.
    schematic->relayAt(0, 0)->click();
    choose(schematic->relayAt(1, 5)->contextMenu(), QStringLiteral("Close Y2"));
    ModalAnswer expression(QList<ModalAnswer::Step>{{QStringLiteral("Done"), [](QWidget *dialog) {
                                                         auto *oc = static_cast<openCloseDialog *>(dialog);
                                                         oc->expression()->setText(QStringLiteral("B1-3"));
                                                         oc->closeSelectedButton()->click();
                                                     }}});
    choose(schematic->relayAt(5, 2)->contextMenu(), QStringLiteral("Custom Pattern ..."));
    QVERIFY2(expression.done(), qPrintable(expression.error()));
    QCOMPARE(expression.report().title, QStringLiteral("Open/Close Relays"));
    QVERIFY(!schematic->relayAt(0, 2)->isMarked()); // marks cleared on close
    QCOMPARE(int(window->instrument->getState(2, 2)), 1);
    QVERIFY(window->applyButton->isEnabled());

    // Undo takes back the expression; undo all everything.
    window->undoButton->click();
    QCOMPARE(int(window->instrument->getState(2, 2)), 0);
    QCOMPARE(int(window->instrument->getState(1, 5)), 1);
    window->undoAllButton->click();
    QCOMPARE(window->instrument->matrixState.size(), 1);
    QVERIFY(!window->undoButton->isEnabled() && !window->applyButton->isEnabled());

    // A relay, the VRef voltage and a bus link, line names; then Apply.
    schematic->relayAt(9, 0)->click();
    schematic->vrefCombo->setCurrentIndex(3);
    schematic->vrefRelay(1)->click();
    renameLine(schematic->aliasWidgets.at(9), QStringLiteral("DUT supply"));
    renameLine(schematic->aliasWidgets.at(2 * 192 + 4 + 2), QStringLiteral("Sense"));
    QCOMPARE(schematic->aliasWidgets.at(2 * 192 + 2)->text(), QStringLiteral("Sense"));
    window->applyButton->click();
    QVERIFY(!window->applyButton->isEnabled());
    QVERIFY(schematic->relayAt(9, 0)->isApplied());
    QCOMPARE(schematic->appliedVRefIndex, 3);

    // Save the applied state as a preset, change it, load the preset back.
    ModalAnswer save({ModalAnswer::typed("Bench-1", "Save")});
    window->saveDialog->exec();
    QVERIFY2(save.done(), qPrintable(save.error()));
    QCOMPARE(window->presetLabel->text(), QStringLiteral("Bench-1"));
    schematic->relayAt(9, 0)->click();
    window->applyButton->click();
    QCOMPARE(window->presetLabel->text(), QStringLiteral("Bench-1") + kNotSaved);
    ModalAnswer load(QStringLiteral("Load"));
    window->loadDialog->exec();
    QCOMPARE(window->presetLabel->text(), QStringLiteral("Bench-1"));
    QVERIFY(schematic->relayAt(9, 0)->isChecked());
    QCOMPARE(schematic->aliasWidgets.at(9)->text(), QStringLiteral("DUT supply"));

    // Reset: everything open, names gone, no preset in use.
    ModalAnswer reset(QStringLiteral("Yes"));
    emit window->resetPressed();
    QCOMPARE(reset.report().text,
             QStringLiteral("Do you really want to reset the Xentra 4820? All relays on the "
                            "device will be forced to open state."));
    QVERIFY(!schematic->relayAt(9, 0)->isChecked());
    QVERIFY(schematic->aliasWidgets.at(9)->text().isEmpty());
    QCOMPARE(schematic->vrefCombo->currentIndex(), 0);
    QCOMPARE(window->presetLabel->text(), QString());

    // Back to the preset, one change applied, then a fresh start keeps it.
    ModalAnswer loadAgain(QStringLiteral("Load"));
    window->loadDialog->exec();
    schematic->relayAt(20, 4)->click();
    window->applyButton->click();
    window.reset();
    auto again = start(adapter, 1);
    QVERIFY(again);
    QCOMPARE(offeredSubtype, 1); // the subtype chosen last
    QVERIFY(again->schematic->relayAt(20, 4)->isChecked() && again->schematic->relayAt(9, 0)->isChecked());
    QCOMPARE(again->schematic->aliasWidgets.at(9)->text(), QStringLiteral("DUT supply"));
    QCOMPARE(again->presetLabel->text(), QStringLiteral("Bench-1") + kNotSaved);
    QVERIFY2(driver().calls.isEmpty(), qPrintable(driver().calls.join(", ")));
}

// What the controls say, offer and do before any change.
void TestMainWindow::demoWindowControls()
{
    ts4820_spc adapter;
    auto window = start(adapter, 0);
    QVERIFY(window);
    QCOMPARE(window->instrument->nRows, 96);
    const QList<QPair<QString, QString>> help = {
        {"Save image", "Save current schematic as image."},
        {"Apply", "Write relay states to the device."},
        {"Undo", "Undo last change of the relay states."},
        {"Undo all", "Discards all user changes made to the relays."},
        {"Refresh", "Read and display the current state of the device. All unsaved changes are discarded."},
        {"Load Preset ...",
         "Shows dialog where it is possible to set relay states from a previously saved preset."},
        {"Save Preset ...", "Shows dialog where it is possible to save current relay states as a preset."},
        {"Manage Presets ...",
         "Shows dialog where it is possible to save device presets to files on local hard "
         "drive,\nor load presets from files to the device."},
        {"Device Status ...", "Opens the Device Information & Status panel."},
        {"Web Interface ...", "Opens the Web Interface in the system's default Internet browser."}};
    for (const auto &[text, whatsThis] : help) {
        QPushButton *button = buttonNamed(window.get(), text);
        QVERIFY2(button && button->isVisibleTo(window.get()), qPrintable(text));
        QCOMPARE(button->whatsThis(), whatsThis);
        QCOMPARE(button->toolTip(), "<html>" + whatsThis + "</html>");
    }
    QCOMPARE(window->scaleCombo->whatsThis(), QStringLiteral("Set the display scale for the schematic."));
    QCOMPARE(QAccessible::queryAccessibleInterface(window->scaleCombo)
                 ->relations(QAccessible::Label)
                 .value(0)
                 .first->text(QAccessible::Name),
             "Scale:");
    QComboBox *vref = window->schematic->vrefCombo;
    QCOMPARE(vref->count(), 17);
    QCOMPARE(QStringList({vref->itemText(0), vref->itemText(1), vref->itemText(8), vref->itemText(16)}),
             QStringList({"+0.0000000", "+9.00000", "-0.450000", "-0.0045000"}));
    QCOMPARE(window->about()->serialNumberLabel()->text(), QStringLiteral("48209481 (DEMO)"));
    QCOMPARE(window->about()->modelLabel()->text(), QStringLiteral("4820-AA"));

    ModalAnswer info(QStringLiteral("OK"));
    emit window->identToggled(true);
    QCOMPARE(info.report().text,
             QStringLiteral("This feature is not available, when Soft Front Panel is working in demo mode."));
    QCOMPARE(info.report().title, window->windowTitle());
}

// The menus' group commands through the window, which turns "all" and the
// buses into one undo step a group: the relays closed after each command and
// each undo, then the line names left after each clearing command.
void TestMainWindow::groupCommandsThroughTheWindow()
{
    ts4820_spc adapter;
    auto window = start(adapter, 0);
    QVERIFY(window);
    Schematic *s = window->schematic;
    QStringList seen;
    const auto look = [&] {
        seen << QString::number(std::count_if(s->relays.cbegin(), s->relays.cend(),
                                              [](const RelayButton *b) { return b->isChecked(); }));
    };
    const auto menu = [&](int row, int col, const char *entry) {
        choose(s->relayAt(row, col)->contextMenu(), entry);
        look();
    };
    menu(4, 0, "Close X1-96");
    menu(4, 2, "Close X5 && Y5");
    menu(6, 5, "Close Y1-96");
    for (int bus = 1; bus <= 4; ++bus) {
        s->setColumn(bus, 1, true);
    }
    menu(0, 1, "Open ABCD1-96"); // four steps
    for (int i = 0; i < 4; ++i) {
        window->undoButton->click();
        look();
    }
    menu(0, 1, "Open All Relays");
    window->undoButton->click();
    look();
    QCOMPARE(seen.join(' '), "96 97 192 192 288 384 480 576 0 576");
    for (const int line : {0, 1, 96 + 1, 2 * 96}) {
        renameLine(s->aliasWidgets.at(line), "n" + QString::number(line));
    }
    seen.clear();
    for (const auto &[line, entry] :
         {std::pair{0, "Clear X1-96"}, {2 * 96, "Clear A, B, C, D"}, {96 + 1, "Clear All"}}) {
        choose(s->aliasWidgets.at(line)->contextMenu(), entry);
        seen << window->instrument->aliasLines().join(',');
    }
    QCOMPARE(seen.join(" | "), "Y2=n97,A=n192 | Y2=n97 | ");
}

// At each scale, shown first at 100 % as the program starts, every VRef
// choice (and "External", for a unit without reference) fits its combo, and
// the frame of a pending voltage stays clear of the caption.
void TestMainWindow::vrefChoicesShowWhole()
{
    ts4820_spc adapter;
    auto window = start(adapter, 0);
    QVERIFY(window);
    QComboBox *combo = window->schematic->vrefCombo;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    for (const int references : {window->instrument->voltRef.n, 0}) {
        window->instrument->voltRef.n = references;
        window->schematic->loadVoltageChoices();
        for (int scale : {1, 0, 2, 3}) {
            window->scaleCombo->setCurrentIndex(scale);
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect field =
                combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField);
            for (int i = 0; i < combo->count(); ++i) {
                QVERIFY2(combo->fontMetrics().horizontalAdvance(combo->itemText(i)) <= field.width(),
                         qPrintable(window->scaleCombo->currentText() + ": " + combo->itemText(i)));
            }
            QVERIFY(combo->geometry().top() - 1 > window->schematic->vrefCaptionRect().bottom());
        }
    }
}

// With a unit: start-up reads it, Apply writes the relays and the links
// (no voltage without a reference) and reads back, a failing reset shows
// its box and still refreshes, hardware facts that cannot be read say so.
void TestMainWindow::realModeCallsAndBoxes()
{
    driver().reset({"BA", 0x48209481, false});
    driver().script(QStringLiteral("ts4820_revision_query"), VI_ERROR_IO);
    ts4820_spc adapter;
    auto window = start(adapter);
    QVERIFY(window);
    QCOMPARE(window->instrument->nRows, 96);
    QCOMPARE(window->schematic->vrefCombo->itemText(0), QStringLiteral("External"));
    QStringList calls = driver().callNames();
    QVERIFY(calls.contains(QStringLiteral("ts4820_identify")));
    QCOMPARE(calls.mid(calls.size() - 7),
             (QStringList{"ts4820_getDefaultPresetName", "ts4820_getMatrixState", "ts4820_getAlias"}
              + QStringList(4, "ts4820_getVoltRefConnectionState")));
    QCOMPARE(window->about()->revisionLabel()->text(), QStringLiteral("Not Available (Product: 1.2.0)"));
    QCOMPARE(window->about()->modelLabel()->text(), QStringLiteral("4820-BA"));

    window->schematic->relayAt(0, 5)->click();
    driver().calls.clear();
    window->applyButton->click();
    calls = driver().callNames(); // the order of the writes: test_model
    QVERIFY(calls.startsWith("ts4820_setMatrixState") && !calls.contains("ts4820_setVoltRefOutput"));
    QVERIFY(window->schematic->relayAt(0, 5)->isApplied() && !window->applyButton->isEnabled());

    driver().calls.clear();
    emit window->identToggled(true);
    QCOMPARE(driver().calls, QStringList{QStringLiteral("ts4820_identify(1, 1)")});
    ModalAnswer no(QStringLiteral("No"));
    emit window->resetPressed();
    QCOMPARE(driver().callNames().count("ts4820_reset"), 0);
    window->schematic->relayAt(3, 3)->click();
    driver().script(QStringLiteral("ts4820_reset"), VI_ERROR_TMO, 1);
    ModalAnswer yes({QStringLiteral("Yes"), QStringLiteral("No")});
    emit window->resetPressed();
    QCOMPARE(yes.report(1).text,
             QStringLiteral(
                 "ts4820_reset(d_vi) failed due to [Fake VISA status 0xbfff0015]\nDo you want to exit?"));
    QVERIFY(!window->schematic->relayAt(3, 3)->isChecked() && !window->undoButton->isEnabled());
}

// The name proposed from the preset label, the whole schematic saved; a
// failed save shows its box and leaves a file the user picked as it was.
void TestMainWindow::saveImage()
{
    ts4820_spc adapter;
    auto window = start(adapter, 0);
    QVERIFY(window);
    const QStringList labels{"abc" + kNotSaved, "", "Rig"},
        proposed{"abc - not saved.png", "unnamed.png", "Rig.png"};
    for (int i = 0; i < labels.size(); ++i) {
        window->presetLabel->setText(labels[i]);
        const QString path = testenv::root() + "/" + proposed[i];
        QString asked;
        ts4820fp_App::askImagePath = [&](QWidget *, const QString &name) {
            asked = name;
            return path;
        };
        window->saveImageButton->click();
        QCOMPARE(asked, proposed[i]);
        QCOMPARE(QImage(path).size(), window->schematic->size());
    }
    const QString kept = testenv::root() + QStringLiteral("/kept.xyz");
    QFile file(kept);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("the user's data") == 15);
    file.close();
    for (const QString &target : {QStringLiteral("/nonexistent-folder/x.png"), kept}) {
        ts4820fp_App::askImagePath = [&](QWidget *, const QString &) { return target; };
        ModalAnswer failed(QStringLiteral("OK"));
        window->saveImageButton->click();
        QCOMPARE(failed.report().text, "Failed to save the image as: " + target + ".");
        QCOMPARE(failed.report().icon, QMessageBox::Critical);
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("the user's data"));
}

TS_TEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
