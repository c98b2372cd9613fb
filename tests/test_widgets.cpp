// The schematic's relay buttons and alias labels as the operator meets them:
// what they draw, what their menus offer, how editing a name behaves and
// what they report to the schematic.
#include <QAction>
#include <QEnterEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QSignalSpy>

#include <functional>

#include "alias.h"
#include "relaybutton.h"
#include "testenv.h"

namespace {

const QColor kOpenFill(250, 250, 250);
const QColor kClosedFill(100, 230, 100);
const QColor kYellow(255, 255, 0);
const QColor kHintGrey(220, 220, 220);
const QColor kTextGrey(0x55, 0x55, 0x55);

QImage render(QWidget *w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }

bool near(QRgb a, const QColor &b, int tol = 8)
{
    return qAbs(qRed(a) - b.red()) <= tol && qAbs(qGreen(a) - b.green()) <= tol
           && qAbs(qBlue(a) - b.blue()) <= tol;
}

// A black line of one pixel, antialiased across two pixel rows or columns.
bool dark(QRgb p) { return qGray(p) < 160; }
bool yellowish(QRgb p) { return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 160; }

QByteArray at(const QPoint &p, QRgb c)
{
    return QStringLiteral("(%1,%2) is %3").arg(p.x()).arg(p.y()).arg(QColor(c).name()).toLatin1();
}

// Bounding box of the pixels matching `hit`.
QRect box(const QImage &image, const std::function<bool(QRgb)> &hit)
{
    QRect r;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (hit(image.pixel(x, y))) {
                r |= QRect(x, y, 1, 1);
            }
        }
    }
    return r;
}
QRect inkBox(const QImage &image)
{
    return box(image, [](QRgb p) { return qGray(p) < 190; });
}

void hover(QWidget *widget, bool on)
{
    const QPointF local(2, 2);
    QEnterEvent enter(local, local, widget->mapToGlobal(local));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(widget, on ? static_cast<QEvent *>(&enter) : &leave);
}

bool showExposed(QWidget *widget)
{
    widget->show();
    return QTest::qWaitForWindowExposed(widget);
}

// The visible menu entries as the user reads them, "---" for a separator.
QStringList entries(const QMenu *menu)
{
    QStringList out;
    for (const QAction *a : menu->actions()) {
        if (a->isVisible()) {
            out << (a->isSeparator() ? QStringLiteral("---") : a->text());
        }
    }
    return out;
}

QAction *entry(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions()) {
        if (a->text() == text) {
            return a;
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

// An active window holding an alias named "Sense" and another input, so
// that focus can leave the alias the way it does on the schematic.
struct AliasHost
{
    QWidget window;
    Alias *alias;
    QLineEdit *elsewhere = new QLineEdit(&window);

    AliasHost(int row, int col) : alias(new Alias(&window, row, col, 1.0, 96))
    {
        alias->move(5, 5);
        alias->setText(QStringLiteral("Sense"));
        elsewhere->setGeometry(5, 50, 100, 25);
        window.resize(120, 80);
        window.show();
        window.activateWindow();
    }
    bool active() { return QTest::qWaitForWindowActive(&window); }
    void click() { QTest::mouseClick(alias->label, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5)); }
};

struct Drawing
{
    double scale;
    bool closed, applied;
    int side, n;
}; // n: the drawn square
struct Frame
{
    bool marked, hovered;
    QColor colour;
};
struct Menu
{
    int row, col, nRows;
    bool checked;
    QStringList entries;
};
// An entry reports by relayToggled ("toggled"), openCloseClicked or customClicked.
struct Report
{
    int row, col;
    bool startClosed;
    QString text, signal;
    QVariantList args;
};
struct AliasMenu
{
    int col, nRows;
    QString group;
};
// Editing "Sense": typed keys ("\b" is Backspace), then a key, or 0 for focus moving
// away; the editor opens by a mouse button, or 0 for the menu entry.
struct Edit
{
    QString typed;
    int finish;
    QString expected;
    bool reported;
    int how = Qt::LeftButton;
};
struct Look
{
    int row, col;
    double scale;
    int alignment;
};

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    // ---- relay button ----------------------------------------------------
    void relayDrawing_data()
    {
        QTest::addColumn<Drawing>("d");
        QTest::newRow("100 %, open") << Drawing{1.0, false, false, 29, 21};
        QTest::newRow("75 %, closed") << Drawing{0.75, true, true, 23, 15};
        QTest::newRow("150 %, open: sizes truncate") << Drawing{1.5, false, false, 40, 32};
        QTest::newRow("closed, instrument open") << Drawing{1.0, true, false, 29, 21};
        QTest::newRow("open, instrument closed") << Drawing{1.0, false, true, 29, 21};
    }
    void relayDrawing()
    {
        QFETCH(Drawing, d);
        const int n = d.n;
        const bool pending = d.closed != d.applied;
        QCOMPARE(RelayButton(nullptr, 3, 2, d.scale, 96).size(), QSize(d.side, d.side));
        RelayButton button(nullptr, 3, 2, 2.0, 96);
        button.move(7, 9);
        button.setScale(d.scale);
        QCOMPARE(button.geometry(), QRect(7, 9, d.side, d.side));
        button.setChecked(d.closed);
        button.setApplied(d.applied);
        QCOMPARE(button.isModified(), pending);
        QCOMPARE(button.cursor().shape(), Qt::PointingHandCursor);

        const QImage image = render(&button);
        const QColor fill = d.closed ? kClosedFill : kOpenFill;
        // Bottom inner row: clear of leads, blade and contacts.
        const int y = n + 2;
        for (int x = 5; x <= n + 2; ++x) {
            QVERIFY2(image.pixel(x, y) == fill.rgb(), at({x, y}, image.pixel(x, y)));
        }
        // The outline straddles the square's edges at 4 and n + 4; outside is neither.
        for (int v : {3, 4, n + 3, n + 4}) {
            QVERIFY2(dark(image.pixel(v, y)), at({v, y}, image.pixel(v, y)));
            QVERIFY2(dark(image.pixel(5, v)), at({5, v}, image.pixel(5, v)));
        }
        for (const QPoint &p : {QPoint(2, y), QPoint(n + 5, y), QPoint(5, 2), QPoint(5, n + 5)}) {
            QVERIFY2(!dark(image.pixel(p)) && image.pixel(p) != fill.rgb(), at(p, image.pixel(p)));
        }

        // A pending change: a yellow frame 3 px wide out to the button's
        // edges, none inside the square.
        QCOMPARE(box(image, yellowish), pending ? QRect(0, 0, d.side, d.side) : QRect());
        QVERIFY(box(image.copy(5, 5, n - 2, n - 2), yellowish).isNull());
        for (const QPoint &p : {QPoint(1, 6), QPoint(n + 6, 6), QPoint(10, 2), QPoint(10, n + 5)}) {
            QVERIFY2((image.pixel(p) == kYellow.rgb()) == pending, at(p, image.pixel(p)));
        }
        // The leads reach the button's edges only through the yellow frame.
        const int m = n / 2 + 4;
        for (int x : {0, 1, d.side - 2, d.side - 1}) {
            QVERIFY2(dark(image.pixel(x, m)) == pending, at({x, m}, image.pixel(x, m)));
        }
        QVERIFY(dark(image.pixel(3, m)));
    }

    void relayFrameShowsMarkAndHover_data()
    {
        QTest::addColumn<Frame>("f");
        QTest::newRow("neither") << Frame{false, false, Qt::black};
        QTest::newRow("marked") << Frame{true, false, QColor(230, 0, 0)};
        QTest::newRow("hovered") << Frame{false, true, QColor(0, 0, 230)};
        QTest::newRow("marked and hovered") << Frame{true, true, QColor(230, 0, 230)};
    }
    void relayFrameShowsMarkAndHover()
    {
        QFETCH(Frame, f);
        RelayButton button(nullptr, 4, 3, 1.0, 96);
        button.setMarked(f.marked);
        hover(&button, f.hovered);
        auto check = [&](const QColor &wanted) {
            const QImage image = render(&button);
            // The plain black outline is antialiased to grey; a coloured frame covers whole pixels.
            for (const QPoint &p : {QPoint(4, 6), QPoint(24, 6), QPoint(10, 4), QPoint(10, 24)}) {
                QVERIFY2(near(image.pixel(p), wanted, wanted == Qt::black ? 140 : 8), at(p, image.pixel(p)));
            }
        };
        check(f.colour);
        if (QTest::currentTestFailed()) {
            return;
        }
        hover(&button, false);
        check(f.marked ? QColor(230, 0, 0) : QColor(Qt::black));
    }

    void relayRepaintsOnlyWhenSomethingChanged()
    {
        RelayButton button(nullptr, 0, 0, 1.0, 96);
        QVERIFY(showExposed(&button));
        struct Counter : QObject
        {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                paints += e->type() == QEvent::Paint;
                return false;
            }
        } counter;
        button.installEventFilter(&counter);
        auto paintsAfter = [&](const std::function<void()> &change) {
            QCoreApplication::processEvents();
            counter.paints = 0;
            change();
            QCoreApplication::processEvents();
            return counter.paints;
        };
        // A new mark or instrument state shows at once; repeating it redraws nothing.
        QVERIFY(paintsAfter([&] { button.setMarked(true); }) > 0);
        QCOMPARE(paintsAfter([&] { button.setMarked(true); }), 0);
        QVERIFY(paintsAfter([&] { button.setApplied(true); }) > 0);
        QCOMPARE(paintsAfter([&] { button.setApplied(true); }), 0);
    }

    void relayLeftClickTogglesAndReports()
    {
        RelayButton button(nullptr, 11, 4, 1.0, 96);
        QVERIFY(showExposed(&button));
        QSignalSpy toggled(&button, &RelayButton::relayToggled);
        QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QCOMPARE(render(&button).pixel(10, 6), kClosedFill.rgb());
        QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QCOMPARE(render(&button).pixel(10, 6), kOpenFill.rgb());
        QCOMPARE(toggled.count(), 2);
        QCOMPARE(toggled.at(0), (QVariantList{11, 4, QVariant::fromValue(char(1))}));
        QCOMPARE(toggled.at(1), (QVariantList{11, 4, QVariant::fromValue(char(0))}));
    }

    void relayMenuEntries_data()
    {
        QTest::addColumn<Menu>("m");
        const QStringList xy = {"---", "Close X7 && Y7",    "Open X7 && Y7", "---", "Open All Relays",
                                "---", "Custom Pattern ..."};
        QTest::newRow("X7 open") << Menu{6, 0, 96, false,
                                         QStringList{"Close X7", "---", "Close X1-96", "Open X1-96"} + xy};
        QTest::newRow("Y7 closed") << Menu{6, 5, 96, true,
                                           QStringList{"Open Y7", "---", "Close Y1-96", "Open Y1-96"} + xy};
        QTest::newRow("B7 closed") << Menu{6,
                                           2,
                                           96,
                                           true,
                                           {"Open B7", "---", "Open B1-96", "---", "Close X7 && Y7",
                                            "Open X7 && Y7", "---", "Open All Relays", "Open ABCD1-96", "---",
                                            "Custom Pattern ..."}};
        QTest::newRow("D192 open, 192 rows")
            << Menu{191,
                    4,
                    192,
                    false,
                    {"Close D192", "---", "Open D1-192", "---", "Close X192 && Y192", "Open X192 && Y192",
                     "---", "Open All Relays", "Open ABCD1-192", "---", "Custom Pattern ..."}};
        QTest::newRow("VRef A open") << Menu{-1, 0, 96, false, {"Close VRA"}};
        QTest::newRow("VRef D closed") << Menu{-1, 3, 192, true, {"Open VRD"}};
    }
    void relayMenuEntries()
    {
        QFETCH(Menu, m);
        RelayButton button(nullptr, m.row, m.col, 1.0, m.nRows);
        button.setChecked(m.checked);
        QVERIFY(showExposed(&button));
        QSignalSpy toggled(&button, &RelayButton::relayToggled);
        QMenu *menu = rightClick(&button, &button);
        QVERIFY(menu);
        QCOMPARE(entries(menu), m.entries);
        QCOMPARE(menu->pos(), button.mapToGlobal(QPoint(5, 5)));
        // Opening the menu changes nothing by itself.
        QCOMPARE(button.isChecked(), m.checked);
        QCOMPARE(toggled.count(), 0);
        menu->hide();
    }

    void relayMenuEntryReports_data()
    {
        QTest::addColumn<Report>("r");
        const auto state = [](int s) { return QVariant::fromValue(char(s)); };
        const QString oc = QStringLiteral("openClose");
        QTest::newRow("close X7") << Report{6, 0, false, "Close X7", "toggled", {6, 0, state(1)}};
        QTest::newRow("open B7") << Report{6, 2, true, "Open B7", "toggled", {6, 2, state(0)}};
        QTest::newRow("open VRD") << Report{-1, 3, true, "Open VRD", "toggled", {-1, 3, state(0)}};
        QTest::newRow("close Y column") << Report{6, 5, false, "Close Y1-96", oc, {-1, 5, true}};
        QTest::newRow("open C column") << Report{6, 3, false, "Open C1-96", oc, {-1, 3, false}};
        QTest::newRow("close X and Y of row 7") << Report{6, 0, false, "Close X7 && Y7", oc, {6, -1, true}};
        QTest::newRow("open X and Y of row 7 from B")
            << Report{6, 2, false, "Open X7 && Y7", oc, {6, -1, false}};
        QTest::newRow("open all relays") << Report{6, 1, false, "Open All Relays", oc, {-1, -1, false}};
        QTest::newRow("open all buses") << Report{6, 4, false, "Open ABCD1-96", oc, {-1, -2, false}};
        QTest::newRow("custom pattern") << Report{6, 3, false, "Custom Pattern ...", "custom", {}};
    }
    void relayMenuEntryReports()
    {
        QFETCH(Report, r);
        RelayButton button(nullptr, r.row, r.col, 1.0, 96);
        button.setChecked(r.startClosed);
        button.setApplied(r.startClosed);
        QSignalSpy toggled(&button, &RelayButton::relayToggled);
        QSignalSpy openClose(&button, &RelayButton::openCloseClicked);
        QSignalSpy custom(&button, &RelayButton::customClicked);
        QAction *action = entry(button.contextMenu(), r.text);
        QVERIFY(action && action->isVisible());
        action->trigger();
        QCOMPARE(toggled.count(), r.signal == "toggled" ? 1 : 0);
        QCOMPARE(openClose.count(), r.signal == "openClose" ? 1 : 0);
        QCOMPARE(custom.count(), r.signal == "custom" ? 1 : 0);
        if (!r.args.isEmpty()) {
            QCOMPARE((r.signal == "toggled" ? toggled : openClose).at(0), r.args);
        }

        // Only the button's own entry changes it, like a click: shown as a
        // pending change, and the menu now offers the way back.
        const bool flipped = r.signal == "toggled";
        const QImage image = render(&button);
        QCOMPARE(image.pixel(1, 6) == kYellow.rgb(), flipped);
        QCOMPARE(image.pixel(10, 6), (r.startClosed != flipped ? kClosedFill : kOpenFill).rgb());
        QCOMPARE(button.contextMenu()->actions().at(0)->isVisible(), r.startClosed == flipped);
        QCOMPARE(button.contextMenu()->actions().at(1)->isVisible(), r.startClosed != flipped);
    }

    // ---- alias -----------------------------------------------------------
    void aliasMenuEntriesAndClearRequests_data()
    {
        QTest::addColumn<AliasMenu>("a");
        QTest::newRow("X1 of 192") << AliasMenu{0, 192, "Clear X1-192"};
        QTest::newRow("Y1 of 96") << AliasMenu{5, 96, "Clear Y1-96"};
        QTest::newRow("bus A above") << AliasMenu{1, 96, "Clear A, B, C, D"};
    }
    void aliasMenuEntriesAndClearRequests()
    {
        QFETCH(AliasMenu, a);
        Alias alias(nullptr, 0, a.col, 1.0, a.nRows);
        alias.setText(QStringLiteral("Sense"));
        QVERIFY(showExposed(&alias));
        QSignalSpy clear(&alias, &Alias::clearAllRequested);
        QMenu *menu = rightClick(alias.label, &alias);
        QVERIFY(menu);
        QCOMPARE(entries(menu), (QStringList{"Edit Alias", "---", a.group, "Clear All"}));
        QCOMPARE(menu->pos(), alias.label->mapToGlobal(QPoint(5, 5)));
        QVERIFY(!alias.isEditing());
        menu->hide();

        entry(menu, a.group)->trigger();
        entry(menu, QStringLiteral("Clear All"))->trigger();
        QCOMPARE(clear.count(), 2);
        QCOMPARE(clear.at(0).at(0).toInt(), a.col);
        QCOMPARE(clear.at(1).at(0).toInt(), -1);
        // The widget only asks; the text stays until the schematic clears it.
        QCOMPARE(alias.text(), QStringLiteral("Sense"));
    }

    void aliasEditing_data()
    {
        QTest::addColumn<Edit>("e");
        const int ret = Qt::Key_Return;
        QTest::newRow("Return without change") << Edit{"", ret, "Sense", false};
        QTest::newRow("Return after typing") << Edit{"2", ret, "Sense2", true};
        QTest::newRow("opened by middle click") << Edit{"2", ret, "Sense2", true, Qt::MiddleButton};
        QTest::newRow("opened by Edit Alias") << Edit{"2", ret, "Sense2", true, 0};
        QTest::newRow("Return after clearing") << Edit{"\b\b\b\b\b", ret, "", true};
        QTest::newRow("Return after retyping the same") << Edit{"\be", ret, "Sense", false};
        QTest::newRow("Escape keeps what was typed") << Edit{"2", Qt::Key_Escape, "Sense2", true};
        QTest::newRow("focus moves away") << Edit{"2", 0, "Sense2", true};
        QTest::newRow("comma, quotes, backquote, equals refused")
            << Edit{",a'b\"c`d=e", ret, "Senseabcde", true};
        QTest::newRow("refused as first character") << Edit{"\b\b\b\b\b,", ret, "", true};
        QTest::newRow("spaces, signs and dots are names") << Edit{" +5.0 V-", ret, "Sense +5.0 V-", true};
        QTest::newRow("31 characters at most")
            << Edit{"abcdefghijklmnopqrstuvwxyz0123456789", ret, "Senseabcdefghijklmnopqrstuvwxyz", true};
    }
    void aliasEditing()
    {
        QFETCH(Edit, e);
        AliasHost host(9, 5);
        QVERIFY(host.active());
        Alias *alias = host.alias;
        QSignalSpy started(alias, &Alias::startEditing);
        QSignalSpy edited(alias, &Alias::edited);
        if (e.how) {
            QTest::mouseClick(alias->label, Qt::MouseButton(e.how), Qt::NoModifier, QPoint(5, 5));
        } else {
            entry(alias->contextMenu(), QStringLiteral("Edit Alias"))->trigger();
        }
        QVERIFY(alias->editor()->isVisible() && alias->editor()->hasFocus());
        QVERIFY(!alias->label->isVisible());
        QCOMPARE(alias->editor()->text(), QStringLiteral("Sense"));
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.at(0), (QVariantList{9, 5}));

        QTest::keyClicks(alias->editor(), e.typed);
        QCOMPARE(alias->editor()->text(), e.expected);
        if (e.finish) {
            QTest::keyClick(alias->editor(), Qt::Key(e.finish));
        } else {
            host.elsewhere->setFocus();
            QVERIFY(host.elsewhere->hasFocus());
        }
        QVERIFY(!alias->isEditing());
        QVERIFY(alias->label->isVisible());
        QCOMPARE(alias->label->text(), e.expected);
        QCOMPARE(edited.count(), e.reported ? 1 : 0);
        if (e.reported) {
            QCOMPARE(edited.at(0), (QVariantList{9, 5, e.expected}));
        }
    }

    void aliasSetTextCommitsPendingEdit()
    {
        AliasHost host(96, 3);
        QVERIFY(host.active());
        Alias *alias = host.alias;
        QSignalSpy edited(alias, &Alias::edited);
        host.click();
        QTest::keyClicks(alias->editor(), QStringLiteral("abc"));
        alias->setText(QStringLiteral("New"));
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.at(0), (QVariantList{96, 3, QStringLiteral("Senseabc")}));
        QVERIFY(!alias->isEditing());
        QVERIFY(alias->label->isVisible());
        QCOMPARE(alias->text(), QStringLiteral("New"));
        alias->setText(QStringLiteral("Old")); // silent while not editing
        QCOMPARE(edited.count(), 1);

        // The editor still reports afterwards.
        host.click();
        QCOMPARE(alias->editor()->text(), QStringLiteral("Old"));
        QTest::keyClicks(alias->editor(), QStringLiteral("er"));
        QTest::keyClick(alias->editor(), Qt::Key_Return);
        QCOMPARE(edited.count(), 2);
        QCOMPARE(edited.at(1), (QVariantList{96, 3, QStringLiteral("Older")}));
    }

    // Size, font, alignment and colour of the name, the hover hint and the
    // editor's place, for each kind of line and scale.
    void aliasLookFollowsScale_data()
    {
        QTest::addColumn<Look>("l");
        QTest::newRow("X line, 100 %") << Look{5, 0, 1.0, Qt::AlignRight | Qt::AlignTop};
        QTest::newRow("Y line, 75 %") << Look{5, 5, 0.75, Qt::AlignLeft | Qt::AlignTop};
        QTest::newRow("bus D below, 150 %") << Look{96, 4, 1.5, Qt::AlignLeft | Qt::AlignVCenter};
    }
    void aliasLookFollowsScale()
    {
        QFETCH(Look, l);
        const QSize size(int(83 * l.scale), int(30 * l.scale));
        const Alias built(nullptr, l.row, l.col, l.scale, 96);
        QCOMPARE(built.size(), size);
        QCOMPARE(built.label->font().pixelSize(), int(11 * l.scale));
        QCOMPARE(built.cursor().shape(), Qt::IBeamCursor);
        Alias alias(nullptr, l.row, l.col, 1.0, 96);
        alias.move(40, 50);
        alias.setScale(l.scale);
        QCOMPARE(alias.geometry(), QRect(QPoint(40, 50), size));
        QCOMPARE(alias.label->geometry(), QRect(QPoint(0, 0), size));
        QCOMPARE(int(alias.label->alignment()), l.alignment);
        QVERIFY(alias.label->wordWrap());
        QCOMPARE(alias.label->font().family(), QStringLiteral("Arial"));
        QCOMPARE(alias.label->font().pixelSize(), int(11 * l.scale));

        // A short name hugs its side, painted in the text grey: the darkest
        // pixel is that grey where the strokes cover whole pixels.
        alias.setText(QStringLiteral("HIJ"));
        QVERIFY(showExposed(&alias));
        hover(alias.label, false); // the window may have opened under the mouse
        const QImage image = render(&alias);
        const QRect ink = inkBox(image);
        QVERIFY(!ink.isEmpty());
        QVERIFY(l.alignment & Qt::AlignRight ? ink.right() >= size.width() - 3 : ink.left() <= 2);
        QVERIFY(l.alignment & Qt::AlignTop ? ink.top() <= size.height() / 4
                                           : qAbs(ink.center().y() - size.height() / 2) <= 2);
        if (l.scale >= 1.5) {
            const QRect grey = box(image, [](QRgb p) { return p == kTextGrey.rgb(); });
            QVERIFY(!grey.isEmpty());
            QCOMPARE(box(image, [](QRgb p) { return qGray(p) <= 0x55; }), grey);
        }

        // Hovering shows "Click to edit" in the label's font made italic, in
        // the text colour, aligned like the name but centred vertically,
        // inside a 2-pixel margin, on a grey box that hides the name.
        QImage hint(size, QImage::Format_RGB32);
        hint.fill(kHintGrey);
        {
            QPainter painter(&hint);
            painter.setRenderHint(QPainter::TextAntialiasing);
            QFont font(QStringLiteral("Arial"));
            font.setPixelSize(int(11 * l.scale));
            font.setItalic(true);
            painter.setFont(font);
            painter.setPen(kTextGrey);
            painter.drawText(QRect(2, 2, size.width() - 4, size.height() - 4),
                             (l.alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter,
                             QStringLiteral("Click to edit"));
        }
        QVERIFY(!inkBox(hint).isEmpty());
        hover(alias.label, true);
        QCOMPARE(render(&alias), hint);
        alias.setText(QStringLiteral("Another name"));
        QCOMPARE(render(&alias), hint);
        hover(alias.label, false);
        const QImage after = render(&alias);
        QVERIFY(after.pixel(0, 0) != kHintGrey.rgb());
        QVERIFY(after != hint && !inkBox(after).isEmpty());

        // The editor spans the width, vertically centred, and follows the scale.
        entry(alias.contextMenu(), QStringLiteral("Edit Alias"))->trigger();
        QLineEdit *editor = alias.editor();
        const int h = editor->sizeHint().height();
        QCOMPARE(editor->geometry(), QRect(0, (size.height() - h) / 2, size.width(), h));
        alias.setScale(1.0);
        QCOMPARE(editor->geometry(), QRect(0, (30 - h) / 2, 83, h));
    }
};

TS_TEST_MAIN(TestWidgets)
#include "test_widgets.moc"
