// The schematic's relay buttons and alias labels as the operator meets them:
// what they draw, what their menus offer, how editing a name behaves and
// what they report to the schematic.
#include <QAction>
#include <QEnterEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QSignalSpy>
#include <QVBoxLayout>

#include "alias.h"
#include "relaybutton.h"
#include "testenv.h"

namespace {

const QColor kOpenFill(250, 250, 250);
const QColor kClosedFill(100, 230, 100);
const QColor kYellow(255, 255, 0);
const QColor kHintGrey(220, 220, 220);

class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

QImage render(QWidget *widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool near(QRgb a, const QColor &b, int tolerance = 8)
{
    return qAbs(qRed(a) - b.red()) <= tolerance && qAbs(qGreen(a) - b.green()) <= tolerance &&
           qAbs(qBlue(a) - b.blue()) <= tolerance;
}

// A black line of one pixel, antialiased across two pixel rows or columns.
bool dark(QRgb p)
{
    return qGray(p) < 160;
}

bool hasYellow(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 100) {
                return true;
            }
        }
    }
    return false;
}

QString describe(QRgb p)
{
    return QColor(p).name();
}

void hover(QWidget *widget, bool on)
{
    if (on) {
        const QPointF local(2, 2);
        QEnterEvent enter(local, local, widget->mapToGlobal(local));
        QCoreApplication::sendEvent(widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(widget, &leave);
    }
}

void flushPaints()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// The visible menu entries as the user reads them, "---" for a separator.
QStringList entries(const QMenu *menu)
{
    QStringList out;
    for (const QAction *action : menu->actions()) {
        if (action->isVisible()) {
            out << (action->isSeparator() ? QStringLiteral("---") : action->text());
        }
    }
    return out;
}

QAction *entry(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

// The menu that a right click at (5, 5) opened, or null.
QMenu *rightClick(QWidget *target, QWidget *owner)
{
    QTest::mouseClick(target, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    QMenu *menu = owner->findChild<QMenu *>();
    return menu && menu->isVisible() ? menu : nullptr;
}

// Bounding box of the pixels darker than the hint box.
QRect inkBox(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 190) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

// An alias in a window together with another input, so that focus can
// leave the alias the way it does on the schematic.
struct AliasHost {
    QWidget window;
    Alias *alias;
    QLineEdit *elsewhere;

    AliasHost(int row, int col, const QString &text)
    {
        auto *layout = new QVBoxLayout(&window);
        auto *holder = new QWidget;
        holder->setFixedSize(100, 40);
        alias = new Alias(holder, row, col, 1.0, 96);
        alias->move(5, 5);
        alias->setText(text);
        elsewhere = new QLineEdit;
        layout->addWidget(holder);
        layout->addWidget(elsewhere);
    }

    bool showActive()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }

    void click() { QTest::mouseClick(alias->label, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5)); }
};

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    // ---- relay button ----------------------------------------------------
    void relayDrawsSquareForScale_data();
    void relayDrawsSquareForScale();
    void relayShowsPendingChangeInYellow_data();
    void relayShowsPendingChangeInYellow();
    void relayFrameShowsMarkAndHover_data();
    void relayFrameShowsMarkAndHover();
    void relayRepaintsOnlyWhenSomethingChanged();
    void relayLeftClickTogglesAndReports();
    void relayMenuEntries_data();
    void relayMenuEntries();
    void relaySingleEntryFollowsState();
    void relayGroupEntriesReport_data();
    void relayGroupEntriesReport();
    void relayCustomPatternEntry();
    void relaySingleEntryActsLikeClick_data();
    void relaySingleEntryActsLikeClick();

    // ---- alias -----------------------------------------------------------
    void menusAndEditorAreBuiltOnFirstUse();
    void aliasMenuEntriesAndClearRequests_data();
    void aliasMenuEntriesAndClearRequests();
    void aliasEntersEditMode_data();
    void aliasEntersEditMode();
    void aliasRefusesReservedCharacters_data();
    void aliasRefusesReservedCharacters();
    void aliasFinishingEdit_data();
    void aliasFinishingEdit();
    void aliasSetTextCommitsPendingEdit();
    void aliasHoverShowsHint_data();
    void aliasHoverShowsHint();
    void aliasLookFollowsScale_data();
    void aliasLookFollowsScale();
    void aliasTextIsGrey();
};

// ---------------------------------------------------------------------------

void TestWidgets::relayDrawsSquareForScale_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("n"); // side of the drawn square
    QTest::newRow("100 %, open") << 1.0 << false << 29 << 21;
    QTest::newRow("100 %, closed") << 1.0 << true << 29 << 21;
    QTest::newRow("75 %, open") << 0.75 << false << 23 << 15;
    QTest::newRow("75 %, closed") << 0.75 << true << 23 << 15;
    QTest::newRow("150 %, closed") << 1.5 << true << 40 << 32;
}

void TestWidgets::relayDrawsSquareForScale()
{
    QFETCH(double, scale);
    QFETCH(bool, closed);
    QFETCH(int, side);
    QFETCH(int, n);

    const RelayButton built(nullptr, 3, 2, scale, 96);
    QCOMPARE(built.size(), QSize(side, side));
    QCOMPARE(built.cursor().shape(), Qt::PointingHandCursor);

    RelayButton button(nullptr, 3, 2, 2.0, 96);
    button.move(7, 9);
    button.setScale(scale);
    QCOMPARE(button.geometry(), QRect(7, 9, side, side));
    button.setChecked(closed);
    button.setApplied(closed);

    const QImage image = render(&button);
    QCOMPARE(image.size(), QSize(side, side));
    const QColor fill = closed ? kClosedFill : kOpenFill;
    // Bottom inner row: clear of leads, blade and contacts.
    const int y = n + 2;
    for (int x = 5; x <= n + 2; ++x) {
        QVERIFY2(image.pixel(x, y) == fill.rgb(),
                 qPrintable(QStringLiteral("(%1,%2) is %3").arg(x).arg(y).arg(describe(image.pixel(x, y)))));
    }
    // The outline straddles the square's edges at 4 and n + 4.
    for (int x : {3, 4, n + 3, n + 4}) {
        QVERIFY2(dark(image.pixel(x, y)), qPrintable(QStringLiteral("outline missing at x=%1").arg(x)));
    }
    for (int yy : {3, 4, n + 3, n + 4}) {
        QVERIFY2(dark(image.pixel(5, yy)), qPrintable(QStringLiteral("outline missing at y=%1").arg(yy)));
    }
    QCOMPARE(image.pixel(5, 5), fill.rgb());
    for (const QPoint &p : {QPoint(2, y), QPoint(n + 5, y), QPoint(5, 2), QPoint(5, n + 5)}) {
        const QRgb outside = image.pixel(p);
        QVERIFY2(!dark(outside) && outside != fill.rgb(),
                 qPrintable(QStringLiteral("(%1,%2) is %3").arg(p.x()).arg(p.y()).arg(describe(outside))));
    }
}

void TestWidgets::relayShowsPendingChangeInYellow_data()
{
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("applied");
    QTest::newRow("closed, instrument open") << true << false;
    QTest::newRow("open, instrument closed") << false << true;
    QTest::newRow("closed on both") << true << true;
    QTest::newRow("open on both") << false << false;
}

void TestWidgets::relayShowsPendingChangeInYellow()
{
    QFETCH(bool, checked);
    QFETCH(bool, applied);
    const bool pending = checked != applied;

    RelayButton button(nullptr, 0, 0, 1.0, 96);
    button.setChecked(checked);
    button.setApplied(applied);
    QCOMPARE(button.isApplied(), applied);
    QCOMPARE(button.isModified(), pending);

    const QImage image = render(&button);
    const int n = 21;
    const int m = n / 2 + 4;
    QCOMPARE(image.pixel(10, 6), (checked ? kClosedFill : kOpenFill).rgb());
    if (pending) {
        // A frame 3 px wide: columns and rows 1 and 2 fully yellow.
        for (const QPoint &p : {QPoint(1, 6), QPoint(2, 6), QPoint(26, 20), QPoint(27, 20),
                                QPoint(10, 1), QPoint(10, 2), QPoint(10, 26), QPoint(10, 27)}) {
            QVERIFY2(image.pixel(p) == kYellow.rgb(),
                     qPrintable(QStringLiteral("(%1,%2) is %3").arg(p.x()).arg(p.y()).arg(describe(image.pixel(p)))));
        }
        // ... and half-covered pixels at the button's outer edge.
        for (const QPoint &p : {QPoint(0, 6), QPoint(28, 6), QPoint(10, 0), QPoint(10, 28)}) {
            const QRgb pixel = image.pixel(p);
            QVERIFY2(qRed(pixel) > 200 && qGreen(pixel) > 200 && qBlue(pixel) < 160,
                     qPrintable(QStringLiteral("(%1,%2) is %3").arg(p.x()).arg(p.y()).arg(describe(pixel))));
        }
        QVERIFY(!hasYellow(image.copy(5, 5, n - 2, n - 2)));
    } else {
        QVERIFY(!hasYellow(image));
    }
    // The leads reach the button's edges only through the yellow frame.
    for (int x : {0, 1, 27, 28}) {
        QVERIFY2(dark(image.pixel(x, m)) == pending,
                 qPrintable(QStringLiteral("lead pixel (%1,%2) is %3").arg(x).arg(m).arg(describe(image.pixel(x, m)))));
    }
    QVERIFY(dark(image.pixel(3, m)));
}

void TestWidgets::relayFrameShowsMarkAndHover_data()
{
    QTest::addColumn<bool>("marked");
    QTest::addColumn<bool>("hovered");
    QTest::addColumn<QColor>("colour"); // invalid: no coloured frame
    QTest::newRow("neither") << false << false << QColor();
    QTest::newRow("marked") << true << false << QColor(230, 0, 0);
    QTest::newRow("hovered") << false << true << QColor(0, 0, 230);
    QTest::newRow("marked and hovered") << true << true << QColor(230, 0, 230);
}

void TestWidgets::relayFrameShowsMarkAndHover()
{
    QFETCH(bool, marked);
    QFETCH(bool, hovered);
    QFETCH(QColor, colour);

    RelayButton button(nullptr, 4, 3, 1.0, 96);
    button.setMarked(marked);
    QCOMPARE(button.isMarked(), marked);
    hover(&button, hovered);
    QCOMPARE(button.hovered, hovered);

    const QPoint frame[] = {QPoint(4, 6), QPoint(24, 6), QPoint(10, 4), QPoint(10, 24)};
    const QColor frameColours[] = {QColor(230, 0, 0), QColor(0, 0, 230), QColor(230, 0, 230)};
    auto check = [&](const QImage &image, const QColor &wanted) {
        for (const QPoint &p : frame) {
            const QRgb pixel = image.pixel(p);
            if (wanted.isValid()) {
                QVERIFY2(near(pixel, wanted), qPrintable(QStringLiteral("(%1,%2) is %3, wanted %4")
                                                             .arg(p.x()).arg(p.y())
                                                             .arg(describe(pixel), wanted.name())));
            } else {
                QVERIFY(dark(pixel));
                for (const QColor &c : frameColours) {
                    QVERIFY(!near(pixel, c, 60));
                }
            }
        }
    };
    check(render(&button), colour);
    if (QTest::currentTestFailed()) {
        return;
    }

    hover(&button, false);
    QVERIFY(!button.hovered);
    check(render(&button), marked ? QColor(230, 0, 0) : QColor());
}

void TestWidgets::relayRepaintsOnlyWhenSomethingChanged()
{
    RelayButton button(nullptr, 0, 0, 1.0, 96);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    flushPaints();
    PaintCounter counter;
    button.installEventFilter(&counter);

    button.setMarked(false);
    button.setApplied(false);
    flushPaints();
    QCOMPARE(counter.paints, 0);

    button.setMarked(true);
    flushPaints();
    QVERIFY(counter.paints > 0);
    counter.paints = 0;
    button.setMarked(true);
    flushPaints();
    QCOMPARE(counter.paints, 0);

    button.setApplied(true);
    flushPaints();
    QVERIFY(counter.paints > 0);
    counter.paints = 0;
    button.setApplied(true);
    flushPaints();
    QCOMPARE(counter.paints, 0);
}

void TestWidgets::relayLeftClickTogglesAndReports()
{
    RelayButton button(nullptr, 11, 4, 1.0, 96);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy toggled(&button, &RelayButton::relayToggled);

    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QVERIFY(button.isChecked());
    QCOMPARE(render(&button).pixel(10, 6), kClosedFill.rgb());
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QVERIFY(!button.isChecked());
    QCOMPARE(render(&button).pixel(10, 6), kOpenFill.rgb());

    QCOMPARE(toggled.count(), 2);
    QCOMPARE(toggled.at(0), (QVariantList{11, 4, QVariant::fromValue(char(1))}));
    QCOMPARE(toggled.at(1), (QVariantList{11, 4, QVariant::fromValue(char(0))}));
}

void TestWidgets::relayMenuEntries_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("nRows");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QStringList>("expected");

    const QStringList xyTail = {"---", "Close X7 && Y7", "Open X7 && Y7", "---",
                                "Open All Relays", "---", "Custom Pattern ..."};
    QTest::newRow("X7 open") << 6 << 0 << 96 << false
                             << QStringList{"Close X7", "---", "Close X1-96", "Open X1-96"} + xyTail;
    QTest::newRow("X7 closed") << 6 << 0 << 96 << true
                               << QStringList{"Open X7", "---", "Close X1-96", "Open X1-96"} + xyTail;
    QTest::newRow("Y7 open") << 6 << 5 << 96 << false
                             << QStringList{"Close Y7", "---", "Close Y1-96", "Open Y1-96"} + xyTail;
    QTest::newRow("B7 closed") << 6 << 2 << 96 << true
                               << QStringList{"Open B7", "---", "Open B1-96", "---",
                                              "Close X7 && Y7", "Open X7 && Y7", "---",
                                              "Open All Relays", "Open ABCD1-96", "---",
                                              "Custom Pattern ..."};
    QTest::newRow("D192 open, 192 rows")
        << 191 << 4 << 192 << false
        << QStringList{"Close D192", "---", "Open D1-192", "---", "Close X192 && Y192",
                       "Open X192 && Y192", "---", "Open All Relays", "Open ABCD1-192", "---",
                       "Custom Pattern ..."};
    QTest::newRow("VRef A open") << -1 << 0 << 96 << false << QStringList{"Close VRA"};
    QTest::newRow("VRef A closed") << -1 << 0 << 96 << true << QStringList{"Open VRA"};
    QTest::newRow("VRef D open") << -1 << 3 << 192 << false << QStringList{"Close VRD"};
}

void TestWidgets::relayMenuEntries()
{
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(int, nRows);
    QFETCH(bool, checked);
    QFETCH(QStringList, expected);

    RelayButton button(nullptr, row, col, 1.0, nRows);
    button.setChecked(checked);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy toggled(&button, &RelayButton::relayToggled);

    QMenu *menu = rightClick(&button, &button);
    QVERIFY(menu);
    QCOMPARE(entries(menu), expected);
    QCOMPARE(menu->pos(), button.mapToGlobal(QPoint(5, 5)));
    QCOMPARE(button.isChecked(), checked);
    QCOMPARE(toggled.count(), 0);
    // The "&&" shows as a single "&" in the menu.
    if (row >= 0) {
        QAction *both = entry(menu, QStringLiteral("Close X%1 && Y%1").arg(row + 1));
        QVERIFY(both);
        QCOMPARE(both->iconText(), QStringLiteral("Close X%1 & Y%1").arg(row + 1));
    } else {
        QCOMPARE(menu->actions().size(), 2); // the hidden one is the other state's entry
    }
    menu->hide();
    QCOMPARE(button.contextMenu(), menu);
}

void TestWidgets::relaySingleEntryFollowsState()
{
    RelayButton button(nullptr, 6, 1, 1.0, 96);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));

    QMenu *menu = rightClick(&button, &button);
    QVERIFY(menu);
    QVERIFY(entries(menu).contains("Close A7"));
    QVERIFY(!entries(menu).contains("Open A7"));
    menu->hide();

    button.setChecked(true);
    menu = rightClick(&button, &button);
    QVERIFY(menu);
    QVERIFY(entries(menu).contains("Open A7"));
    QVERIFY(!entries(menu).contains("Close A7"));
    menu->hide();
}

void TestWidgets::relayGroupEntriesReport_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("r");
    QTest::addColumn<int>("c");
    QTest::addColumn<bool>("close");
    QTest::newRow("close X column") << 6 << 0 << "Close X1-96" << -1 << 0 << true;
    QTest::newRow("open X column") << 6 << 0 << "Open X1-96" << -1 << 0 << false;
    QTest::newRow("close Y column") << 6 << 5 << "Close Y1-96" << -1 << 5 << true;
    QTest::newRow("open C column") << 6 << 3 << "Open C1-96" << -1 << 3 << false;
    QTest::newRow("close X and Y of row 7") << 6 << 0 << "Close X7 && Y7" << 6 << -1 << true;
    QTest::newRow("open X and Y of row 7 from B") << 6 << 2 << "Open X7 && Y7" << 6 << -1 << false;
    QTest::newRow("open all relays") << 6 << 1 << "Open All Relays" << -1 << -1 << false;
    QTest::newRow("open all relays from Y") << 6 << 5 << "Open All Relays" << -1 << -1 << false;
    QTest::newRow("open all buses") << 6 << 4 << "Open ABCD1-96" << -1 << -2 << false;
}

void TestWidgets::relayGroupEntriesReport()
{
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(QString, text);
    QFETCH(int, r);
    QFETCH(int, c);
    QFETCH(bool, close);

    RelayButton button(nullptr, row, col, 1.0, 96);
    QSignalSpy openClose(&button, &RelayButton::openCloseClicked);
    QSignalSpy toggled(&button, &RelayButton::relayToggled);
    QSignalSpy custom(&button, &RelayButton::customClicked);

    QAction *action = entry(button.contextMenu(), text);
    QVERIFY(action);
    action->trigger();
    QCOMPARE(openClose.count(), 1);
    QCOMPARE(openClose.at(0), (QVariantList{r, c, close}));
    QCOMPARE(toggled.count(), 0);
    QCOMPARE(custom.count(), 0);
    QVERIFY(!button.isChecked());
}

void TestWidgets::relayCustomPatternEntry()
{
    RelayButton button(nullptr, 2, 3, 1.0, 96);
    QSignalSpy openClose(&button, &RelayButton::openCloseClicked);
    QSignalSpy custom(&button, &RelayButton::customClicked);
    QAction *action = entry(button.contextMenu(), QStringLiteral("Custom Pattern ..."));
    QVERIFY(action);
    action->trigger();
    QCOMPARE(custom.count(), 1);
    QCOMPARE(openClose.count(), 0);
}

void TestWidgets::relaySingleEntryActsLikeClick_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("startClosed");
    QTest::addColumn<QString>("text");
    QTest::newRow("close X7") << 6 << 0 << false << "Close X7";
    QTest::newRow("open B7") << 6 << 2 << true << "Open B7";
    QTest::newRow("close Y96") << 95 << 5 << false << "Close Y96";
    QTest::newRow("close VRB") << -1 << 1 << false << "Close VRB";
    QTest::newRow("open VRD") << -1 << 3 << true << "Open VRD";
}

void TestWidgets::relaySingleEntryActsLikeClick()
{
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(bool, startClosed);
    QFETCH(QString, text);

    RelayButton button(nullptr, row, col, 1.0, 96);
    button.setChecked(startClosed);
    button.setApplied(startClosed);
    QSignalSpy toggled(&button, &RelayButton::relayToggled);
    QSignalSpy openClose(&button, &RelayButton::openCloseClicked);

    QAction *action = entry(button.contextMenu(), text);
    QVERIFY(action);
    QVERIFY(action->isVisible());
    action->trigger();

    QCOMPARE(button.isChecked(), !startClosed);
    QCOMPARE(toggled.count(), 1);
    QCOMPARE(toggled.at(0), (QVariantList{row, col, QVariant::fromValue(char(startClosed ? 0 : 1))}));
    QCOMPARE(openClose.count(), 0);
    QVERIFY(button.isModified());
    const QImage image = render(&button);
    QCOMPARE(image.pixel(1, 6), kYellow.rgb());
    QCOMPARE(image.pixel(10, 6), (startClosed ? kOpenFill : kClosedFill).rgb());
    // The menu now offers the way back.
    QCOMPARE(button.contextMenu()->actions().at(0)->isVisible(), startClosed);
    QCOMPARE(button.contextMenu()->actions().at(1)->isVisible(), !startClosed);
}

// ---------------------------------------------------------------------------

void TestWidgets::menusAndEditorAreBuiltOnFirstUse()
{
    RelayButton button(nullptr, 0, 0, 1.0, 96);
    QVERIFY(button.findChildren<QMenu *>().isEmpty());
    QMenu *menu = button.contextMenu();
    QCOMPARE(button.findChildren<QMenu *>(), QList<QMenu *>{menu});
    QCOMPARE(button.contextMenu(), menu);

    Alias alias(nullptr, 0, 0, 1.0, 96);
    QVERIFY(alias.findChildren<QMenu *>().isEmpty());
    QVERIFY(alias.findChildren<QLineEdit *>().isEmpty());
    QVERIFY(!alias.isEditing());
    QLineEdit *editor = alias.editor();
    QCOMPARE(alias.findChildren<QLineEdit *>(), QList<QLineEdit *>{editor});
    QCOMPARE(alias.editor(), editor);
    QVERIFY(editor->isHidden());
    QCOMPARE(editor->maxLength(), 31);
    QVERIFY(!alias.isEditing());
    QMenu *aliasMenu = alias.contextMenu();
    QCOMPARE(alias.findChildren<QMenu *>(), QList<QMenu *>{aliasMenu});
    QCOMPARE(alias.contextMenu(), aliasMenu);
}

void TestWidgets::aliasMenuEntriesAndClearRequests_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("nRows");
    QTest::addColumn<QString>("group");
    QTest::newRow("X3 of 96") << 2 << 0 << 96 << "Clear X1-96";
    QTest::newRow("X1 of 192") << 0 << 0 << 192 << "Clear X1-192";
    QTest::newRow("Y3 of 96") << 2 << 5 << 96 << "Clear Y1-96";
    QTest::newRow("bus A above") << 0 << 1 << 96 << "Clear A, B, C, D";
    QTest::newRow("bus D below") << 96 << 4 << 96 << "Clear A, B, C, D";
}

void TestWidgets::aliasMenuEntriesAndClearRequests()
{
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(int, nRows);
    QFETCH(QString, group);

    Alias alias(nullptr, row, col, 1.0, nRows);
    alias.setText(QStringLiteral("Sense"));
    alias.show();
    QVERIFY(QTest::qWaitForWindowExposed(&alias));
    QSignalSpy clear(&alias, &Alias::clearAllRequested);
    QSignalSpy started(&alias, &Alias::startEditing);

    QMenu *menu = rightClick(alias.label, &alias);
    QVERIFY(menu);
    QCOMPARE(entries(menu), (QStringList{"Edit Alias", "---", group, "Clear All"}));
    QCOMPARE(menu->pos(), alias.label->mapToGlobal(QPoint(5, 5)));
    QVERIFY(!alias.isEditing());
    QCOMPARE(started.count(), 0);
    menu->hide();

    entry(menu, group)->trigger();
    entry(menu, QStringLiteral("Clear All"))->trigger();
    QCOMPARE(clear.count(), 2);
    QCOMPARE(clear.at(0).at(0).toInt(), col);
    QCOMPARE(clear.at(1).at(0).toInt(), -1);
    // The widget only asks; the text stays until the schematic clears it.
    QCOMPARE(alias.text(), QStringLiteral("Sense"));
}

void TestWidgets::aliasEntersEditMode_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("left click") << "left";
    QTest::newRow("middle click") << "middle";
    QTest::newRow("Edit Alias entry") << "menu";
}

void TestWidgets::aliasEntersEditMode()
{
    QFETCH(QString, how);
    AliasHost host(4, 5, QStringLiteral("Sense"));
    QVERIFY(host.showActive());
    Alias *alias = host.alias;
    QSignalSpy started(alias, &Alias::startEditing);
    QSignalSpy edited(alias, &Alias::edited);

    if (how == "left") {
        host.click();
    } else if (how == "middle") {
        QTest::mouseClick(alias->label, Qt::MiddleButton, Qt::NoModifier, QPoint(5, 5));
    } else {
        entry(alias->contextMenu(), QStringLiteral("Edit Alias"))->trigger();
    }

    QVERIFY(alias->isEditing());
    QLineEdit *editor = alias->editor();
    QVERIFY(editor->isVisible());
    QVERIFY(!alias->label->isVisible());
    QCOMPARE(editor->text(), QStringLiteral("Sense"));
    QVERIFY(editor->hasFocus());
    const int h = editor->sizeHint().height();
    QCOMPARE(editor->geometry(), QRect(0, (30 - h) / 2, 83, h));
    QCOMPARE(started.count(), 1);
    QCOMPARE(started.at(0), (QVariantList{4, 5}));
    QCOMPARE(edited.count(), 0);
}

void TestWidgets::aliasRefusesReservedCharacters_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("comma") << "a," << "a";
    QTest::newRow("single quote") << "a'" << "a";
    QTest::newRow("double quote") << "a\"" << "a";
    QTest::newRow("backquote") << "a`" << "a";
    QTest::newRow("equals sign") << "a=" << "a";
    QTest::newRow("refused in the middle") << "ab,c=d" << "abcd";
    QTest::newRow("refused as first character") << "," << "";
    QTest::newRow("spaces, dashes and dots are names") << "Sense +5.0 V-" << "Sense +5.0 V-";
    QTest::newRow("31 characters at most") << "abcdefghijklmnopqrstuvwxyz0123456789"
                                           << "abcdefghijklmnopqrstuvwxyz01234";
}

void TestWidgets::aliasRefusesReservedCharacters()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    AliasHost host(0, 0, QString());
    QVERIFY(host.showActive());
    Alias *alias = host.alias;
    QSignalSpy edited(alias, &Alias::edited);

    host.click();
    QVERIFY(alias->isEditing());
    QTest::keyClicks(alias->editor(), typed);
    QCOMPARE(alias->editor()->text(), expected);
    QCOMPARE(alias->lastValidText, expected);

    QTest::keyClick(alias->editor(), Qt::Key_Return);
    QVERIFY(!alias->isEditing());
    QCOMPARE(alias->text(), expected);
    if (expected.isEmpty()) {
        QCOMPARE(edited.count(), 0);
    } else {
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.at(0), (QVariantList{0, 0, expected}));
    }
}

void TestWidgets::aliasFinishingEdit_data()
{
    QTest::addColumn<bool>("clearFirst");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("finish"); // a key, or 0: focus moves to another input
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("reported");
    QTest::newRow("Return without change") << false << "" << int(Qt::Key_Return) << "Sense" << false;
    QTest::newRow("Return after typing") << false << "2" << int(Qt::Key_Return) << "Sense2" << true;
    QTest::newRow("Enter after typing") << false << "2" << int(Qt::Key_Enter) << "Sense2" << true;
    QTest::newRow("Return after clearing") << true << "" << int(Qt::Key_Return) << "" << true;
    QTest::newRow("Return after retyping the same") << true << "Sense" << int(Qt::Key_Return)
                                                    << "Sense" << false;
    QTest::newRow("Escape keeps what was typed") << false << "2" << int(Qt::Key_Escape) << "Sense2"
                                                 << true;
    QTest::newRow("Escape after clearing") << true << "Out" << int(Qt::Key_Escape) << "Out" << true;
    QTest::newRow("Escape without change") << false << "" << int(Qt::Key_Escape) << "Sense" << false;
    QTest::newRow("focus moves away") << false << "2" << 0 << "Sense2" << true;
}

void TestWidgets::aliasFinishingEdit()
{
    QFETCH(bool, clearFirst);
    QFETCH(QString, typed);
    QFETCH(int, finish);
    QFETCH(QString, expected);
    QFETCH(bool, reported);

    AliasHost host(9, 0, QStringLiteral("Sense"));
    QVERIFY(host.showActive());
    Alias *alias = host.alias;
    QSignalSpy edited(alias, &Alias::edited);

    host.click();
    QVERIFY(alias->isEditing());
    QLineEdit *editor = alias->editor();
    if (clearFirst) {
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_Backspace);
        QCOMPARE(editor->text(), QString());
    }
    QTest::keyClicks(editor, typed);
    if (finish) {
        QTest::keyClick(editor, Qt::Key(finish));
    } else {
        host.elsewhere->setFocus();
        QVERIFY(host.elsewhere->hasFocus());
    }

    QVERIFY(!alias->isEditing());
    QVERIFY(alias->label->isVisible());
    QCOMPARE(alias->text(), expected);
    QCOMPARE(alias->label->text(), expected);
    QCOMPARE(edited.count(), reported ? 1 : 0);
    if (reported) {
        QCOMPARE(edited.at(0), (QVariantList{9, 0, expected}));
    }
}

void TestWidgets::aliasSetTextCommitsPendingEdit()
{
    AliasHost host(96, 3, QStringLiteral("Old"));
    QVERIFY(host.showActive());
    Alias *alias = host.alias;
    QSignalSpy edited(alias, &Alias::edited);
    QSignalSpy started(alias, &Alias::startEditing);

    // Silent while not editing.
    alias->setText(QStringLiteral("Sense"));
    QCOMPARE(alias->text(), QStringLiteral("Sense"));
    QCOMPARE(edited.count(), 0);

    host.click();
    QTest::keyClicks(alias->editor(), QStringLiteral("abc"));
    alias->setText(QStringLiteral("New"));
    QCOMPARE(edited.count(), 1);
    QCOMPARE(edited.at(0), (QVariantList{96, 3, QStringLiteral("Senseabc")}));
    QVERIFY(!alias->isEditing());
    QVERIFY(alias->label->isVisible());
    QCOMPARE(alias->text(), QStringLiteral("New"));

    // The editor still reports afterwards.
    host.click();
    QCOMPARE(started.count(), 2);
    QCOMPARE(alias->editor()->text(), QStringLiteral("New"));
    QTest::keyClicks(alias->editor(), QStringLiteral("er"));
    QTest::keyClick(alias->editor(), Qt::Key_Return);
    QCOMPARE(edited.count(), 2);
    QCOMPARE(edited.at(1), (QVariantList{96, 3, QStringLiteral("Newer")}));
    QCOMPARE(alias->text(), QStringLiteral("Newer"));
}

void TestWidgets::aliasHoverShowsHint_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("horizontal");
    QTest::newRow("X line, 100 %") << 3 << 0 << 1.0 << int(Qt::AlignRight);
    QTest::newRow("Y line, 100 %") << 3 << 5 << 1.0 << int(Qt::AlignLeft);
    QTest::newRow("bus B, 150 %") << 0 << 2 << 1.5 << int(Qt::AlignLeft);
    QTest::newRow("X line, 75 %") << 3 << 0 << 0.75 << int(Qt::AlignRight);
}

void TestWidgets::aliasHoverShowsHint()
{
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(double, scale);
    QFETCH(int, horizontal);

    Alias alias(nullptr, row, col, scale, 96);
    alias.setText(QStringLiteral("Sense"));
    alias.show();
    QVERIFY(QTest::qWaitForWindowExposed(&alias));
    // Showing a window under the test's mouse position may already have
    // hovered it.
    hover(alias.label, false);
    QVERIFY(!alias.label->hovered);
    const int w = alias.width();
    const int h = alias.height();
    const QImage plain = render(&alias);
    QVERIFY(plain.pixel(0, 0) != kHintGrey.rgb());
    QVERIFY(plain.pixel(w - 1, h - 1) != kHintGrey.rgb());

    hover(alias.label, true);
    QVERIFY(alias.label->hovered);
    const QImage hint = render(&alias);
    for (const QPoint &p : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)}) {
        QCOMPARE(hint.pixel(p), kHintGrey.rgb());
    }

    // What the user should read: "Click to edit" in the label's font made
    // italic, in the text colour, aligned like the name but centred
    // vertically, inside a 2-pixel margin.
    QImage expected(alias.size(), QImage::Format_RGB32);
    expected.fill(kHintGrey);
    {
        QPainter painter(&expected);
        painter.setRenderHint(QPainter::TextAntialiasing);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(int(11 * scale));
        font.setItalic(true);
        painter.setFont(font);
        painter.setPen(QColor(0x55, 0x55, 0x55));
        painter.drawText(QRect(2, 2, w - 4, h - 4), horizontal | Qt::AlignVCenter,
                         QStringLiteral("Click to edit"));
    }
    QCOMPARE(hint, expected);
    const QRect ink = inkBox(hint);
    QVERIFY(!ink.isEmpty());
    QVERIFY2(qAbs(ink.center().y() - h / 2) <= 2, qPrintable(QStringLiteral("hint centred at y=%1").arg(ink.center().y())));
    if (horizontal == Qt::AlignRight) {
        QVERIFY(ink.right() >= w - 6 && ink.left() > 6);
    } else {
        QVERIFY(ink.left() <= 5 && ink.right() < w - 6);
    }

    // The name is hidden while the hint shows.
    alias.setText(QStringLiteral("Another name"));
    QCOMPARE(render(&alias), expected);

    hover(alias.label, false);
    QVERIFY(!alias.label->hovered);
    const QImage after = render(&alias);
    QVERIFY(after.pixel(0, 0) != kHintGrey.rgb());
    QVERIFY(after != expected);
    QVERIFY(!inkBox(after).isEmpty());
}

void TestWidgets::aliasLookFollowsScale_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("alignment");
    QTest::newRow("X line, 100 %") << 5 << 0 << 1.0 << int(Qt::AlignRight | Qt::AlignTop);
    QTest::newRow("Y line, 75 %") << 5 << 5 << 0.75 << int(Qt::AlignLeft | Qt::AlignTop);
    QTest::newRow("bus A above, 150 %") << 0 << 1 << 1.5 << int(Qt::AlignLeft | Qt::AlignVCenter);
    QTest::newRow("bus D below, 125 %") << 96 << 4 << 1.25 << int(Qt::AlignLeft | Qt::AlignVCenter);
    QTest::newRow("X line, 67 %") << 0 << 0 << 0.67 << int(Qt::AlignRight | Qt::AlignTop);
}

void TestWidgets::aliasLookFollowsScale()
{
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(double, scale);
    QFETCH(int, alignment);
    const QSize size(int(83 * scale), int(30 * scale));

    const Alias built(nullptr, row, col, scale, 96);
    QCOMPARE(built.size(), size);
    QCOMPARE(built.label->font().pixelSize(), int(11 * scale));
    QCOMPARE(built.cursor().shape(), Qt::IBeamCursor);

    Alias alias(nullptr, row, col, 1.0, 96);
    alias.move(40, 50);
    alias.setScale(scale);
    QCOMPARE(alias.geometry(), QRect(QPoint(40, 50), size));
    QCOMPARE(alias.label->geometry(), QRect(QPoint(0, 0), size));
    QCOMPARE(int(alias.label->alignment()), alignment);
    QVERIFY(alias.label->wordWrap());
    QCOMPARE(alias.label->font().family(), QStringLiteral("Arial"));
    QCOMPARE(alias.label->font().pixelSize(), int(11 * scale));
    QCOMPARE(alias.label->palette().color(QPalette::WindowText), QColor(0x55, 0x55, 0x55));
    // Hundreds of aliases share the schematic: none carries a style sheet.
    QVERIFY(alias.styleSheet().isEmpty() && alias.label->styleSheet().isEmpty());

    // Name aligned as configured: a long name wraps, a short one hugs its side.
    alias.setText(QStringLiteral("Ab"));
    alias.show();
    QVERIFY(QTest::qWaitForWindowExposed(&alias));
    const QRect ink = inkBox(render(&alias));
    QVERIFY(!ink.isEmpty());
    if (alignment & Qt::AlignRight) {
        QVERIFY(ink.right() >= size.width() - 3);
    } else {
        QVERIFY(ink.left() <= 2);
    }
    if (alignment & Qt::AlignTop) {
        QVERIFY(ink.top() <= size.height() / 4);
    } else {
        QVERIFY(qAbs(ink.center().y() - size.height() / 2) <= 2);
    }

    // The editor spans the width, vertically centred, and follows the scale.
    entry(alias.contextMenu(), QStringLiteral("Edit Alias"))->trigger();
    QLineEdit *editor = alias.editor();
    const int h = editor->sizeHint().height();
    QCOMPARE(editor->geometry(), QRect(0, (size.height() - h) / 2, size.width(), h));
    alias.setScale(1.0);
    QCOMPARE(editor->geometry(), QRect(0, (30 - h) / 2, 83, h));
}

void TestWidgets::aliasTextIsGrey()
{
    // Large enough for the strokes of a capital to cover whole pixels.
    Alias alias(nullptr, 0, 5, 1.5, 96);
    alias.setText(QStringLiteral("HIJ"));
    alias.show();
    QVERIFY(QTest::qWaitForWindowExposed(&alias));
    const QImage image = render(&alias);
    int darkest = 255;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            QCOMPARE(qRed(p), qGreen(p));
            QCOMPARE(qGreen(p), qBlue(p));
            darkest = qMin(darkest, qRed(p));
        }
    }
    QCOMPARE(darkest, 0x55);
}

TS_TEST_MAIN(TestWidgets)
#include "test_widgets.moc"
