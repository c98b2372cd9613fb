// The schematic as the operator works with it: its size at each scale,
// relay clicks and group commands reaching the model with their undo steps,
// the pending-versus-applied frames, bus names kept alike at both ends, and
// the open/close expression.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>

#include "alias.h"
#include "openclosedialog.h"
#include "relaybutton.h"
#include "relayexpression.h"
#include "schematic.h"
#include "settingsstore.h"
#include "testenv.h"
#include "ts4820inst.h"

namespace {

struct Bench
{
    explicit Bench(int rows) : model(0, true, rows, rows == 96 ? QStringLiteral("AA") : QStringLiteral("AB"))
    {
        model.setDemoVoltRef();
        model.readState();
        schematic = new Schematic(&model, nullptr);
        schematic->loadVoltageChoices();
        schematic->loadPattern(model.matrixState.last().constData());
    }
    ~Bench() { delete schematic; }

    ts4820inst model;
    Schematic *schematic;
};

QString relayStates(const ts4820inst &model)
{
    QString states;
    for (int r = 0; r < model.nRows; ++r) {
        for (int c = 0; c < model.nCols; ++c) {
            states += model.getState(r, c) ? QLatin1Char('1') : QLatin1Char('0');
        }
    }
    return states;
}

} // namespace

class TestSchematic : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings(settingsstore::organisation(), settingsstore::application()).clear(); }

    void sizeFollowsScaleAndRows_data();
    void sizeFollowsScaleAndRows();
    void relayClickReachesModelWithOneUndoStep();
    void groupCommandsChangeTheirRelaysWithOneStepEach_data();
    void groupCommandsChangeTheirRelaysWithOneStepEach();
    void resetVRefOpensLinksAndSelectsFirstVoltage();
    void undoShowsPreviousStateAndAnswersWhetherMoreRemain();
    void undoOnSingleStateChangesNothing();
    void undoAllShowsTheOldestState_data();
    void undoAllShowsTheOldestState();
    void loadPatternMakesEverythingApplied();
    void vrefChoiceFramedUntilApplied();
    void busAliasesStayAlikeAtBothEnds_data();
    void busAliasesStayAlikeAtBothEnds();
    void clearAliasesEmptiesItsGroup_data();
    void clearAliasesEmptiesItsGroup();
    void applyMarkedWithNothingMarkedStillAddsStep();
    void expressionMarksAndValidity_data();
    void expressionMarksAndValidity();
    void openCloseDialogAppliesMarkedRelays();
};

void TestSchematic::sizeFollowsScaleAndRows_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("button");
    QTest::newRow("96 rows, 100 %") << 96 << 1.0 << QSize(800, 4950) << 29;
    QTest::newRow("96 rows, 75 %") << 96 << 0.75 << QSize(600, 3712) << 23;
    QTest::newRow("96 rows, 150 %") << 96 << 1.5 << QSize(1200, 7425) << 40;
    QTest::newRow("192 rows, 125 %") << 192 << 1.25 << QSize(1000, 12187) << 34;
}

void TestSchematic::sizeFollowsScaleAndRows()
{
    QFETCH(int, rows);
    QFETCH(double, scale);
    QFETCH(QSize, size);
    QFETCH(int, button);
    Bench bench(rows);
    bench.schematic->setScale(scale);
    QCOMPARE(bench.schematic->size(), size);
    QCOMPARE(bench.schematic->relays.size(), rows * 6 + 4);
    QCOMPARE(bench.schematic->aliasWidgets.size(), 2 * rows + 8);
    QCOMPARE(bench.schematic->relays.first()->size(), QSize(button, button));
    // Relay (row 1, column B) sits at design point (319, 139).
    QCOMPARE(bench.schematic->relayAt(1, 2)->pos(), QPoint(int(319 * scale) - 3, int(139 * scale) - 3));
    QCOMPARE(bench.schematic->aliasWidgets.first()->size(), QSize(int(83 * scale), int(30 * scale)));
}

void TestSchematic::relayClickReachesModelWithOneUndoStep()
{
    Bench bench(96);
    QSignalSpy changed(bench.schematic, &Schematic::changed);
    RelayButton *b7 = bench.schematic->relayAt(6, 2);
    b7->click();
    QCOMPARE(int(bench.model.getState(6, 2)), 1);
    QCOMPARE(bench.model.matrixState.size(), 2);
    QCOMPARE(changed.count(), 1);
    QVERIFY(bench.schematic->isModified());
    b7->click();
    QCOMPARE(int(bench.model.getState(6, 2)), 0);
    QCOMPARE(bench.model.matrixState.size(), 3);
    QVERIFY(!bench.schematic->isModified());

    bench.schematic->vrefRelay(3)->click();
    QCOMPARE(int(bench.model.getState(-1, 3)), 1);
    QCOMPARE(bench.model.matrixState.size(), 4);
}

void TestSchematic::groupCommandsChangeTheirRelaysWithOneStepEach_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("closedRelays");
    QTest::addColumn<int>("steps");
    QTest::newRow("column B") << "column" << 96 << 1;
    QTest::newRow("row 5 X and Y") << "rowXY" << 2 << 1;
    QTest::newRow("row 5 buses") << "rowBuses" << 4 << 1;
    QTest::newRow("all") << "all" << 576 << 1;
}

void TestSchematic::groupCommandsChangeTheirRelaysWithOneStepEach()
{
    QFETCH(QString, command);
    QFETCH(int, closedRelays);
    QFETCH(int, steps);
    Bench bench(96);
    QSignalSpy changed(bench.schematic, &Schematic::changed);
    if (command == "column") {
        bench.schematic->setColumn(2, 1, true);
    } else if (command == "rowXY") {
        bench.schematic->setRowXY(4, 1);
        QCOMPARE(int(bench.model.getState(4, 0)), 1);
        QCOMPARE(int(bench.model.getState(4, 5)), 1);
    } else if (command == "rowBuses") {
        bench.schematic->setRowBuses(4, 1);
        QCOMPARE(int(bench.model.getState(4, 1)), 1);
        QCOMPARE(int(bench.model.getState(4, 0)), 0);
    } else {
        bench.schematic->setAll(1);
    }
    QCOMPARE(relayStates(bench.model).count(QLatin1Char('1')), closedRelays);
    QCOMPARE(bench.model.matrixState.size(), 1 + steps);
    QCOMPARE(changed.count(), 1);
    int checked = 0;
    for (int i = 0; i < 576; ++i) {
        checked += bench.schematic->relays.at(i)->isChecked() ? 1 : 0;
    }
    QCOMPARE(checked, closedRelays);
    QVERIFY(bench.schematic->isModified());
}

void TestSchematic::resetVRefOpensLinksAndSelectsFirstVoltage()
{
    Bench bench(96);
    bench.schematic->vrefRelay(1)->click();
    bench.schematic->vrefCombo->setCurrentIndex(5);
    QCOMPARE(bench.model.matrixState.size(), 3);
    bench.schematic->resetVRef(false);
    QCOMPARE(bench.model.matrixState.size(), 3);
    QVERIFY(!bench.schematic->vrefRelay(1)->isChecked());
    QCOMPARE(int(bench.model.getState(-1, 1)), 0);
    QCOMPARE(int(bench.model.getState(-1, -1)), 0);
    QCOMPARE(bench.schematic->vrefCombo->currentIndex(), 0);
    bench.schematic->resetVRef(true);
    QCOMPARE(bench.model.matrixState.size(), 4);
}

void TestSchematic::undoShowsPreviousStateAndAnswersWhetherMoreRemain()
{
    Bench bench(96);
    bench.schematic->relayAt(0, 0)->click();
    bench.schematic->setColumn(5, 1, true);
    bench.schematic->vrefCombo->setCurrentIndex(3);
    QSignalSpy changed(bench.schematic, &Schematic::changed);

    QVERIFY(bench.schematic->undo(true));
    QCOMPARE(bench.schematic->vrefCombo->currentIndex(), 0);
    QVERIFY(bench.schematic->undo(true));
    QVERIFY(!bench.schematic->relayAt(10, 5)->isChecked());
    QVERIFY(bench.schematic->relayAt(0, 0)->isChecked());
    QVERIFY(!bench.schematic->undo(false));
    QVERIFY(!bench.schematic->relayAt(0, 0)->isChecked());
    QCOMPARE(changed.count(), 0);
    QVERIFY(!bench.schematic->isModified());
}

void TestSchematic::undoOnSingleStateChangesNothing()
{
    Bench bench(96);
    QVERIFY(!bench.schematic->undo(true));
    QCOMPARE(bench.model.matrixState.size(), 1);
    QCOMPARE(relayStates(bench.model).count(QLatin1Char('1')), 0);
}

void TestSchematic::undoAllShowsTheOldestState_data()
{
    QTest::addColumn<int>("clicks");
    QTest::addColumn<bool>("groupCommands");
    QTest::newRow("nothing to undo") << 0 << false;
    QTest::newRow("one click") << 1 << false;
    QTest::newRow("clicks, group commands, VRef") << 12 << true;
    QTest::newRow("1000 clicks") << 1000 << false;
}

void TestSchematic::undoAllShowsTheOldestState()
{
    QFETCH(int, clicks);
    QFETCH(bool, groupCommands);
    Bench bench(192);
    // What the unit holds: A4 closed, the VRef linked to bus C at +0.45 V.
    QByteArray pattern(bench.model.patternSize(), char(0));
    pattern[3 * 6 + 1] = 1;
    pattern[192 * 6 + 2] = 1;
    pattern[192 * 6 + 4] = 7;
    bench.model.matrixState.last() = pattern; // as read from the unit
    bench.schematic->loadPattern(bench.model.matrixState.last().constData());
    for (int i = 0; i < clicks; ++i) {
        bench.schematic->relayAt(10 + i / 6, i % 6)->click();
    }
    if (groupCommands) {
        bench.schematic->setColumn(1, 0, true); // opens A4 as well
        bench.schematic->setAll(1);
        bench.schematic->vrefRelay(2)->click();
        bench.schematic->vrefCombo->setCurrentIndex(3);
    }
    QSignalSpy changed(bench.schematic, &Schematic::changed);

    bench.schematic->undoAll();
    QCOMPARE(bench.model.matrixState.size(), 1);
    QString unitState(192 * 6, QLatin1Char('0'));
    unitState[3 * 6 + 1] = QLatin1Char('1');
    QCOMPARE(relayStates(bench.model), unitState);
    QCOMPARE(int(bench.model.getState(-1, 2)), 1);
    int closed = 0;
    for (int i = 0; i < 192 * 6; ++i) {
        closed += bench.schematic->relays.at(i)->isChecked() ? 1 : 0;
    }
    QCOMPARE(closed, 1);
    QVERIFY(bench.schematic->relayAt(3, 1)->isChecked());
    QVERIFY(bench.schematic->vrefRelay(2)->isChecked());
    QCOMPARE(bench.schematic->vrefCombo->currentIndex(), 7);
    QVERIFY(!bench.schematic->isModified());
    QCOMPARE(changed.count(), 0);
}

void TestSchematic::loadPatternMakesEverythingApplied()
{
    Bench bench(96);
    QByteArray pattern(bench.model.patternSize(), char(0));
    pattern[3 * 6 + 1] = 1;  // A4
    pattern[96 * 6 + 2] = 1; // VRef on bus C
    pattern[96 * 6 + 4] = 7; // +0.45 V
    QSignalSpy changed(bench.schematic, &Schematic::changed);
    bench.schematic->loadPattern(pattern.constData());
    QCOMPARE(changed.count(), 1);
    QVERIFY(bench.schematic->relayAt(3, 1)->isChecked());
    QVERIFY(bench.schematic->relayAt(3, 1)->isApplied());
    QVERIFY(bench.schematic->vrefRelay(2)->isApplied());
    QCOMPARE(bench.schematic->vrefCombo->currentIndex(), 7);
    QCOMPARE(bench.schematic->appliedVRefIndex, 7);
    QCOMPARE(int(bench.model.getState(3, 1)), 1);
    QVERIFY(!bench.schematic->isModified());

    // A closed relay that the unit holds open: modified, with a yellow frame.
    bench.schematic->relayAt(3, 1)->click();
    QVERIFY(bench.schematic->isModified());
    const QImage button = bench.schematic->relayAt(3, 1)->grab().toImage();
    QCOMPARE(QColor(button.pixel(2, 8)), QColor(255, 255, 0));
}

void TestSchematic::vrefChoiceFramedUntilApplied()
{
    Bench bench(96);
    const QRect combo = bench.schematic->vrefCombo->geometry();
    const QPoint frame = combo.topLeft() + QPoint(combo.width() / 2, -1);
    auto framed = [&]() {
        const QImage image = bench.schematic->grab(QRect(0, 0, 800, 200)).toImage();
        return QColor(image.pixel(frame)) == QColor(255, 255, 0);
    };
    QVERIFY(!framed());
    bench.schematic->vrefCombo->setCurrentIndex(4);
    QVERIFY(bench.schematic->isModified());
    QVERIFY(framed());
    bench.schematic->vrefCombo->setCurrentIndex(0);
    QVERIFY(!bench.schematic->isModified());
    QVERIFY(!framed());
    QCOMPARE(bench.model.matrixState.size(), 3);
}

void TestSchematic::busAliasesStayAlikeAtBothEnds_data()
{
    QTest::addColumn<int>("row"); // 0 top, 96 bottom
    QTest::addColumn<int>("col");
    QTest::newRow("bottom C edited") << 96 << 3;
    QTest::newRow("top A edited") << 0 << 1;
}

void TestSchematic::busAliasesStayAlikeAtBothEnds()
{
    QFETCH(int, row);
    QFETCH(int, col);
    Bench bench(96);
    QSignalSpy aliasChanged(bench.schematic, &Schematic::aliasChanged);
    const int top = 2 * 96 + col - 1;
    const int bottom = top + 4;
    Alias *edited = bench.schematic->aliasWidgets.at(row == 0 ? top : bottom);
    Alias *other = bench.schematic->aliasWidgets.at(row == 0 ? bottom : top);
    QCOMPARE(edited->row, row);
    QTest::mouseClick(edited, Qt::LeftButton);
    QVERIFY(edited->isEditing());
    edited->editor()->setText(QStringLiteral("Sense"));
    QTest::keyClick(edited->editor(), Qt::Key_Return);
    QCOMPARE(other->text(), QStringLiteral("Sense"));
    QCOMPARE(aliasChanged.count(), 1);
    // The demo model stores the bus name whatever row the edit came from.
    QCOMPARE(bench.model.aliases.at(2 * 96 + col - 1), QStringLiteral("Sense"));
}

void TestSchematic::clearAliasesEmptiesItsGroup_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QList<int>>("cleared"); // alias widget indices
    QTest::addColumn<QList<int>>("kept");
    QTest::newRow("X") << 0 << QList<int>{0, 95} << QList<int>{96, 192, 196};
    QTest::newRow("Y") << 5 << QList<int>{96, 191} << QList<int>{0, 192};
    QTest::newRow("bus B") << 2 << QList<int>{193, 197} << QList<int>{192, 196, 0};
}

void TestSchematic::clearAliasesEmptiesItsGroup()
{
    QFETCH(int, id);
    QFETCH(QList<int>, cleared);
    QFETCH(QList<int>, kept);
    Bench bench(96);
    QStringList names;
    for (int i = 0; i < 2 * 96 + 4; ++i) {
        names << QStringLiteral("n%1").arg(i);
    }
    bench.schematic->setAliases(names);
    QCOMPARE(bench.schematic->aliasWidgets.at(197)->text(), QStringLiteral("n193"));
    QSignalSpy aliasChanged(bench.schematic, &Schematic::aliasChanged);
    bench.schematic->clearAliases(id);
    for (int i : cleared) {
        QVERIFY2(bench.schematic->aliasWidgets.at(i)->text().isEmpty(), qPrintable(QString::number(i)));
    }
    for (int i : kept) {
        QVERIFY2(!bench.schematic->aliasWidgets.at(i)->text().isEmpty(), qPrintable(QString::number(i)));
    }
    QCOMPARE(aliasChanged.count(), 1);
}

void TestSchematic::applyMarkedWithNothingMarkedStillAddsStep()
{
    Bench bench(96);
    QSignalSpy changed(bench.schematic, &Schematic::changed);
    bench.schematic->applyMarked(true);
    QCOMPARE(bench.model.matrixState.size(), 2);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(relayStates(bench.model).count(QLatin1Char('1')), 0);

    bench.schematic->markRelay(2, 4);
    bench.schematic->applyMarked(true);
    QCOMPARE(int(bench.model.getState(2, 4)), 1);
    QVERIFY(bench.schematic->relayAt(2, 4)->isMarked());
}

void TestSchematic::expressionMarksAndValidity_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QStringList>("marked"); // e.g. "X1"
    QTest::newRow("X1-4,Y1,Y6") << "X1-4,Y1,Y6" << true << QStringList{"X1", "X2", "X3", "X4", "Y1", "Y6"};
    QTest::newRow("spaces and lower case") << "x 1 - 4" << true << QStringList{"X1", "X2", "X3", "X4"};
    QTest::newRow("reversed range marks nothing") << "X4-1" << true << QStringList{};
    QTest::newRow("X0 invalid, rest marked") << "X0,B2" << false << QStringList{"B2"};
    QTest::newRow("X97 invalid, rest marked") << "X97,D96" << false << QStringList{"D96"};
    QTest::newRow("X1-97 stops evaluation") << "A1,X1-97,Y2" << false << QStringList{"A1"};
    QTest::newRow("two hyphens") << "X1-2-3" << false << QStringList{};
    QTest::newRow("trailing comma") << "C5," << false << QStringList{"C5"};
    QTest::newRow("unknown line E") << "E1" << false << QStringList{};
    QTest::newRow("lone X") << "X" << false << QStringList{};
    QTest::newRow("empty") << "" << false << QStringList{};
    QTest::newRow("other character") << "X1;" << false << QStringList{};
    QTest::newRow("all rows of Y") << "y1-96" << true << QStringList{};
}

void TestSchematic::expressionMarksAndValidity()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QStringList, marked);
    Bench bench(96);
    bench.schematic->markRelay(50, 3); // an old mark must go
    QCOMPARE(showRelayExpression(*bench.schematic, text), valid);
    QStringList found;
    const QString letters = QStringLiteral("XABCDY");
    for (int c = 0; c < 6; ++c) {
        for (int r = 0; r < 96; ++r) {
            if (bench.schematic->relayAt(r, c)->isMarked()) {
                found << letters.at(c) + QString::number(r + 1);
            }
        }
    }
    if (text == "y1-96") {
        QCOMPARE(found.size(), 96);
        QVERIFY(found.first() == "Y1" && found.last() == "Y96");
    } else {
        QCOMPARE(found, marked);
    }
    for (int k = 0; k < 4; ++k) {
        QVERIFY(!bench.schematic->vrefRelay(k)->isMarked());
    }
}

void TestSchematic::openCloseDialogAppliesMarkedRelays()
{
    Bench bench(96);
    QWidget window;
    openCloseDialog dialog(&window, bench.schematic);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Open/Close Relays"));
    QCOMPARE(dialog.expression()->toolTip(),
             QStringLiteral("<html>Expression describing relays for selection, eg. "
                            "X1-4,Y1,Y6.</html>"));
    QCOMPARE(dialog.closeSelectedButton()->whatsThis(), QStringLiteral("Close the selected relays."));
    connect(&dialog, &openCloseDialog::openCloseExpressionChanged, &dialog, [&](const QString &text) {
        dialog.setSelectionButtonsEnabled(showRelayExpression(*bench.schematic, text));
    });
    QSignalSpy expressionChanged(&dialog, &openCloseDialog::openCloseExpressionChanged);
    dialog.expression()->setText(QStringLiteral("X1-2"));
    QVERIFY(dialog.closeSelectedButton()->isEnabled());
    dialog.closeSelectedButton()->click();
    QCOMPARE(int(bench.model.getState(0, 0)), 1);
    QCOMPARE(int(bench.model.getState(1, 0)), 1);
    QCOMPARE(bench.model.matrixState.size(), 2);
    dialog.openSelectedButton()->click();
    QCOMPARE(int(bench.model.getState(0, 0)), 0);
    QCOMPARE(bench.model.matrixState.size(), 3);

    dialog.expression()->setText(QStringLiteral("X1-"));
    QVERIFY(!dialog.openSelectedButton()->isEnabled());
    QVERIFY(!dialog.closeSelectedButton()->isEnabled());

    // Showing the dialog again re-evaluates the kept text.
    expressionChanged.clear();
    dialog.show();
    QCOMPARE(expressionChanged.count(), 1);
    QCOMPARE(expressionChanged.at(0).at(0).toString(), QStringLiteral("X1-"));
    dialog.hide();
}

TS_TEST_MAIN(TestSchematic)
#include "test_schematic.moc"
