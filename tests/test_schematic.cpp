// The schematic as the operator works with it: relays, line names, every
// change reaching the model as one undo step, and the open/close expression.
#include <QAccessible>
#include <QComboBox>
#include <QEnterEvent>
#include <QLineEdit>
#include <QMenu>

#include <functional>

#include "alias.h"
#include "relaybutton.h"
#include "relayexpression.h"
#include "schematic.h"
#include "testenv.h"
#include "ts4820inst.h"

namespace {

QRgb pixel(QWidget *w, int x, int y) { return w->grab().toImage().pixel(x, y); }

// Right-clicks `target`; the visible entries of the menu it opened, "---" for a separator.
QString rightClickMenu(QWidget *target)
{
    QTest::mouseClick(target, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    QStringList entries;
    for (const QAction *a : target->findChild<QMenu *>()->actions()) {
        entries << (!a->isVisible() ? QString() : a->isSeparator() ? QStringLiteral("---") : a->text());
    }
    entries.removeAll(QString());
    return target->findChild<QMenu *>()->isVisible() ? entries.join('|') : QString();
}

void trigger(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions()) {
        if (a->text() == text) {
            a->trigger();
        }
    }
}

// The names ("B7", "VRC") of the relays that `pick` chooses, row by row.
QString relays(const Schematic &s, const std::function<bool(const RelayButton *)> &pick)
{
    QStringList names;
    for (const RelayButton *b : s.relays) {
        if (pick(b)) {
            names << (b->row < 0 ? QStringLiteral("VR%1").arg(QChar('A' + b->col))
                                 : QStringLiteral("%1%2").arg(QChar("XABCDY"[b->col])).arg(b->row + 1));
        }
    }
    return names.join(' ');
}

struct Bench
{
    explicit Bench(int rows)
        : model(0, true, rows, rows == 96 ? "AA" : "AB"),
          view((model.setDemoVoltRef(), model.readState(), &model), nullptr)
    {
        view.loadVoltageChoices();
        view.loadPattern(model.matrixState.last().constData());
    }
    // The closed relays, which the schematic and the model must agree on.
    QString closed() const
    {
        const QString shown = relays(view, [](const RelayButton *b) { return b->isChecked(); });
        const auto held = [this](const RelayButton *b) { return model.getState(b->row, b->col) != 0; };
        return shown == relays(view, held) ? shown : QStringLiteral("schematic and model differ");
    }
    ts4820inst model;
    Schematic view;
};

// A relay, its menu's entries ("" not compared), the entry chosen and what it
// reports: its own switching (relayToggled) or a group command (openCloseClicked).
struct Menu
{
    int row, col, rows;
    bool closed;
    QString chosen, report, entries = {};
};

// Editing "Sense": the keys typed; ended by a key, (0) focus moving away or (-1)
// setText("Old"); the name then shown and the edit reported ("-" none).
struct Edit
{
    QString typed;
    int finish;
    QString shown, reported;
};

using Action = std::function<void(Schematic &)>;

} // namespace

class TestSchematic : public QObject
{
    Q_OBJECT

private slots:
    void relayMenu_data()
    {
        QTest::addColumn<Menu>("m");
        const QString xy = "|---|Close X7 && Y7|Open X7 && Y7|---|Open All Relays|---|Custom Pattern ...";
        const QString d192 = "Close D192|---|Open D1-192|---|Close X192 && Y192|Open X192 && Y192|---|"
                             "Open All Relays|Open ABCD1-192|---|Custom Pattern ...";
        QTest::newRow("X7 open") << Menu{
            6, 0, 96, false, "Close X7", "toggled 6 0 1", "Close X7|---|Close X1-96|Open X1-96" + xy};
        QTest::newRow("Y7 closed") << Menu{
            6, 5, 96, true, "Close Y1-96", "group -1 5 1", "Open Y7|---|Close Y1-96|Open Y1-96" + xy};
        QTest::newRow("D192 open") << Menu{191, 4, 192, false, "Open ABCD1-192", "group -1 -2 0", d192};
        QTest::newRow("VRef D closed") << Menu{-1, 3, 192, true, "Open VRD", "toggled -1 3 0", "Open VRD"};
        QTest::newRow("B7, X and Y") << Menu{6, 2, 96, false, "Close X7 && Y7", "group 6 -1 1"};
        QTest::newRow("C7, all relays") << Menu{6, 3, 96, false, "Open All Relays", "group -1 -1 0"};
        QTest::newRow("C7, custom pattern") << Menu{6, 3, 96, false, "Custom Pattern ...", "custom 0 0 0"};
    }
    void relayMenu()
    {
        QFETCH(Menu, m);
        RelayButton button(nullptr, m.row, m.col, 1.0, m.rows);
        button.setChecked(m.closed);
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        QVERIFY(m.entries.isEmpty() || rightClickMenu(&button) == m.entries);
        QStringList reports;
        const auto say = [&](const char *what, int r, int c, int s) {
            reports << QStringLiteral("%1 %2 %3 %4").arg(QLatin1String(what)).arg(r).arg(c).arg(s);
        };
        connect(&button, &RelayButton::relayToggled, [&](int r, int c, char s) { say("toggled", r, c, s); });
        connect(&button, &RelayButton::openCloseClicked,
                [&](int r, int c, bool s) { say("group", r, c, s); });
        connect(&button, &RelayButton::customClicked, [&] { say("custom", 0, 0, 0); });
        trigger(button.contextMenu(), m.chosen);
        QCOMPARE(reports, QStringList{m.report});
        // Only the relay's own entry switches it; the menu then offers the way back.
        QCOMPARE(button.isChecked(), m.closed != m.report.startsWith("toggled"));
        QCOMPARE(button.contextMenu()->actions().at(1)->isVisible(), button.isChecked());
    }

    // The square's frame: blue hovered, magenta hovered and marked, red
    // marked; a change the unit does not hold yet is framed in yellow outside.
    void relayClickAndFrame()
    {
        RelayButton button(nullptr, 11, 4, 1.0, 96);
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        const auto look = [&] {
            return QColor(pixel(&button, 4, 6)).name() + QColor(pixel(&button, 10, 24)).name() + ' '
                   + QColor(pixel(&button, 10, 6)).name()
                   + (pixel(&button, 1, 6) == qRgb(255, 255, 0) ? " changed" : "");
        };
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), button.mapToGlobal(QPointF(2, 2)));
        QCoreApplication::sendEvent(&button, &enter);
        QCOMPARE(look(), QStringLiteral("#0000e6#0000e6 #fafafa"));
        button.setMarked(true);
        QCOMPARE(look(), QStringLiteral("#e600e6#e600e6 #fafafa"));
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&button, &leave);
        QSignalSpy toggled(&button, &RelayButton::relayToggled);
        QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QCOMPARE(toggled, (QList<QVariantList>{{11, 4, QVariant::fromValue(char(1))}}));
        QCOMPARE(look(), QStringLiteral("#e60000#e60000 #64e664 changed"));
        button.setApplied(true);
        QCOMPARE(look(), QStringLiteral("#e60000#e60000 #64e664"));
    }

    void aliasEditing_data()
    {
        QTest::addColumn<Edit>("e");
        const int ret = Qt::Key_Return;
        QTest::newRow("Return without change") << Edit{"", ret, "Sense", "-"};
        QTest::newRow("Return after typing") << Edit{"2", ret, "Sense2", "Sense2"};
        QTest::newRow("Escape keeps what was typed") << Edit{"2", Qt::Key_Escape, "Sense2", "Sense2"};
        QTest::newRow("focus moves away") << Edit{"2", 0, "Sense2", "Sense2"};
        QTest::newRow("setText reports the edit first") << Edit{"2", -1, "Old", "Sense2"};
        QTest::newRow("comma, quotes, backquote, equals refused")
            << Edit{",a'b\"c`d=e", ret, "Senseabcde", "Senseabcde"};
    }
    void aliasEditing()
    {
        QFETCH(Edit, e);
        QWidget window; // with another input, so that focus can leave the alias
        auto *alias = new Alias(&window, 9, 5, 1.0, 96);
        (new QLineEdit(&window))->move(0, 40);
        alias->setText(QStringLiteral("Sense"));
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QSignalSpy started(alias, &Alias::startEditing), edited(alias, &Alias::edited);
        QTest::mouseClick(alias->label, Qt::LeftButton);
        QVERIFY(alias->editor()->hasFocus() && alias->editor()->text() == QStringLiteral("Sense"));
        QTest::keyClicks(alias->editor(), e.typed);
        if (e.finish > 0) {
            QTest::keyClick(alias->editor(), Qt::Key(e.finish));
        } else if (e.finish == 0) {
            window.findChildren<QLineEdit *>().last()->setFocus();
        } else {
            alias->setText(QStringLiteral("Old"));
        }
        QVERIFY(!alias->isEditing() && alias->label->isVisible());
        QCOMPARE(alias->text(), e.shown);
        QCOMPARE(started, (QList<QVariantList>{{9, 5}}));
        QCOMPARE(edited,
                 (e.reported == "-" ? QList<QVariantList>() : QList<QVariantList>{{9, 5, e.reported}}));
    }

    // A line's menu asks the schematic to clear its group or all names; a
    // bus's name shows at both its ends.
    void lineNames_data()
    {
        QTest::addColumn<int>("index"); // X1..X96, Y1..Y96, bus tops A..D, bus bottoms A..D
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("cleared");
        QTest::addColumn<int>("otherEnd"); // of a bus; the line itself for X and Y
        QTest::newRow("X1") << 0 << "Clear X1-96" << 0 << 96 << 0;
        QTest::newRow("Y96") << 191 << "Clear Y1-96" << 5 << 96 << 191;
        QTest::newRow("bus A, top end") << 192 << "Clear A, B, C, D" << 1 << 2 << 196;
        QTest::newRow("bus C, bottom end") << 198 << "Clear A, B, C, D" << 3 << 2 << 194;
    }
    void lineNames()
    {
        QFETCH(int, index);
        QFETCH(QString, group);
        QFETCH(int, id);
        QFETCH(int, otherEnd);
        Bench bench(96);
        bench.view.setAliases(QStringList(2 * 96 + 4, QStringLiteral("n")));
        const QList<Alias *> &all = bench.view.aliasWidgets;
        QTest::mouseClick(all.at(index), Qt::LeftButton);
        all.at(index)->editor()->setText(QStringLiteral("Sense"));
        QTest::keyClick(all.at(index)->editor(), Qt::Key_Return);
        QCOMPARE(bench.model.aliases.at(index < 192 ? index : 192 + index % 4), QStringLiteral("Sense"));
        QCOMPARE(all.at(otherEnd)->text(), QStringLiteral("Sense"));

        QSignalSpy requested(&bench.view, &Schematic::clearAliasRequested);
        QCOMPARE(rightClickMenu(all.at(index)), "Edit Alias|---|" + group + "|Clear All");
        trigger(all.at(index)->contextMenu(), group);
        trigger(all.at(index)->contextMenu(), QStringLiteral("Clear All"));
        QCOMPARE(requested, (QList<QVariantList>{{id}, {-1}}));
        QCOMPARE(all.at(index)->text(), QStringLiteral("Sense")); // only asked
        bench.view.clearAliases(id);
        QVERIFY(all.at(index)->text().isEmpty());
        QTEST(int(std::count_if(all.cbegin(), all.cend(), [](Alias *a) { return a->text().isEmpty(); })),
              "cleared");
    }

    void everyChangeIsOneUndoStep_data()
    {
        QTest::addColumn<Action>("act");
        QTest::addColumn<QString>("closed"); // how many, the first and the last
        QTest::newRow("click B7") << Action([](Schematic &s) { s.relayAt(6, 2)->click(); }) << "1 B7-B7";
        QTest::newRow("click VRD") << Action([](Schematic &s) { s.vrefRelay(3)->click(); }) << "1 VRD-VRD";
        QTest::newRow("column B") << Action([](Schematic &s) { s.setColumn(2, 1, true); }) << "96 B1-B96";
        QTest::newRow("X and Y of row 5") << Action([](Schematic &s) { s.setRowXY(4, 1); }) << "2 X5-Y5";
        QTest::newRow("buses of row 5") << Action([](Schematic &s) { s.setRowBuses(4, 1); }) << "4 A5-D5";
        QTest::newRow("all") << Action([](Schematic &s) { s.setAll(1); }) << "576 X1-Y96";
        QTest::newRow("marked C9") << Action([](Schematic &s) { s.markRelay(8, 3), s.applyMarked(true); })
                                   << "1 C9-C9";
        QTest::newRow("VRef voltage")
            << Action([](Schematic &s) { s.vrefCombo->setCurrentIndex(4); }) << "0 -";
    }
    void everyChangeIsOneUndoStep()
    {
        QFETCH(Action, act);
        Bench bench(96);
        QSignalSpy changed(&bench.view, &Schematic::changed);
        act(bench.view);
        const QStringList closed = bench.closed().split(' ', Qt::SkipEmptyParts);
        QTEST(QStringLiteral("%1 %2-%3")
                  .arg(closed.size())
                  .arg(closed.value(0), closed.value(closed.size() - 1)),
              "closed");
        QCOMPARE(int(bench.model.getState(-1, -1)), bench.view.vrefCombo->currentIndex());
        QCOMPARE(bench.model.matrixState.size(), 2);
        QCOMPARE(changed.count(), 1);
        QVERIFY(bench.view.isModified());
        // A voltage the unit does not hold yet is framed in yellow.
        const QRect combo = bench.view.vrefCombo->geometry();
        const bool framed = pixel(&bench.view, combo.center().x(), combo.top() - 1) == qRgb(255, 255, 0);
        QCOMPARE(framed, QTest::currentDataTag() == QByteArray("VRef voltage"));
        QVERIFY(!bench.view.undo(true)); // nothing more to undo
        QVERIFY(bench.closed().isEmpty() && bench.view.vrefCombo->currentIndex() == 0
                && !bench.view.isModified());
    }

    // What assistive technology says: relays and lines by the names an operator
    // uses, a named line with its name, the VRef choice by its caption.
    void accessibleNames()
    {
        Bench bench(96);
        const Schematic &v = bench.view;
        v.aliasWidgets.at(0)->setText(QStringLiteral("PSU+"));
        renameLine(v.aliasWidgets.at(96 + 4), QStringLiteral("Sense"));
        v.relayAt(6, 1)->click();
        QStringList names;
        for (QWidget *w : std::initializer_list<QWidget *>{
                 v.relayAt(0, 0), v.relayAt(6, 1), v.relayAt(95, 5), v.vrefRelay(0), v.aliasWidgets.at(0),
                 v.aliasWidgets.at(100), v.aliasWidgets.at(1), v.aliasWidgets.at(194), v.vrefCombo}) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
            const auto labels = a->relations(QAccessible::Label); // what a combo box is named by
            names << (labels.isEmpty() ? a->text(QAccessible::Name)
                                       : labels.first().first->text(QAccessible::Name))
                         + (a->state().checked ? " closed" : "");
        }
        QCOMPARE(names.join('|'), "X1|A7 closed|Y96|VRA|X1: PSU+|Y5: Sense|X2|C|Voltage Reference [V]");
        QVERIFY(v.relayAt(0, 0)->text().isEmpty()); // nothing visible changes
    }

    void expressionMarksAndValidity_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("marked"); // row by row
        QTest::newRow("X1-4,Y1,Y6") << "X1-4,Y1,Y6" << true << "X1 Y1 X2 X3 X4 Y6";
        QTest::newRow("spaces and lower case") << "b 95 - 96" << true << "B95 B96";
        QTest::newRow("X0 invalid, rest marked") << "X0,B2" << false << "B2";
        QTest::newRow("X1-97 stops evaluation") << "A1,X1-97,Y2" << false << "A1";
        QTest::newRow("other character") << "X1;" << false << "";
    }
    void expressionMarksAndValidity()
    {
        QFETCH(QString, text);
        Bench bench(96);
        bench.view.markRelay(50, 3); // an old mark must go
        QTEST(showRelayExpression(bench.view, text), "valid");
        QTEST(relays(bench.view, [](const RelayButton *b) { return b->isMarked(); }), "marked");
    }
};

TS_TEST_MAIN(TestSchematic)
#include "test_schematic.moc"
