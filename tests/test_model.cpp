// The instrument model: relay addressing and text forms, line names, the
// undo history, and how the state, the presets and the preset files move
// between the panel and the switch unit (or the demo store).
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <array>
#include <functional>

#include "fakedriver.h"
#include "modalanswer.h"
#include "testenv.h"
#include "ts1900fp_app.h"
#include "ts4820inst.h"

using fake::driver;
using fake::FakePreset;

namespace {

constexpr ViSession kVi = 7;
const QString kOrganisation = QStringLiteral("Tarsel Ltd.");
const QString kApplication = QStringLiteral("Xentra 4820 Soft Front Panel");
const QString kZero = QStringLiteral("00000000");

// What the panel shows: the closed relays as the user names them (a value
// other than 1 after "="), the VRef links to buses A..D and the VRef index,
// e.g. "[X1 D96] links 0101 vref 8".
QString view(const ts4820inst &m)
{
    QStringList closed;
    for (int r = 0; r < m.nRows; ++r) {
        for (int c = 0; c < 6; ++c) {
            const int v = uchar(m.getState(r, c));
            if (v != 0) {
                closed << QStringLiteral("%1%2").arg(QLatin1Char("XABCDY"[c])).arg(r + 1)
                              + (v == 1 ? QString() : QStringLiteral("=%1").arg(v));
            }
        }
    }
    QString links;
    for (int bus = 0; bus < 4; ++bus) {
        links += QString::number(uchar(m.getState(-1, bus)));
    }
    return QStringLiteral("[%1] links %2 vref %3")
        .arg(closed.join(' '), links)
        .arg(uchar(m.getState(-1, -1)));
}

// `first` followed by count - 1 zero words.
QString wordsText(const QString &first, int count)
{
    return first + QString(QLatin1Char(',') + kZero).repeated(count - 1);
}

// A full alias list from "NAME=text" lines; the slots are worked out here so
// that expectations do not lean on the code under test.
QStringList aliasesFrom(const QStringList &lines, int rows = 96)
{
    QStringList list(2 * rows + 4);
    for (const QString &line : lines) {
        const int eq = line.indexOf(QLatin1Char('='));
        const QChar letter = line.at(0);
        const int slot = eq == 1 ? 2 * rows + (letter.unicode() - 'A')
                                 : line.mid(1, eq - 1).toInt() - 1 + (letter == QLatin1Char('Y') ? rows : 0);
        list[slot] = line.mid(eq + 1);
    }
    return list;
}

void useFakeUnit(const QString &subType)
{
    driver().unit.subType = subType;
    driver().unit.ensureSize();
}

// As the main window does with the instrument: the model gets the unit's table.
void useFakeVRef(ts4820inst &m)
{
    const QVector<double> &table = driver().unit.vrefTable;
    m.voltRef.n = ViInt32(table.size());
    std::copy(table.cbegin(), table.cend(), m.voltRef.voltages);
}

// "a b*3" names the calls ts4820_a, ts4820_b, ts4820_b, ts4820_b.
QStringList callList(const QString &names)
{
    QStringList out;
    for (const QString &word : names.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = word.split(QLatin1Char('*'));
        for (int i = 0; i < parts.value(1, QStringLiteral("1")).toInt(); ++i) {
            out << QStringLiteral("ts4820_") + parts.first();
        }
    }
    return out;
}

// Spare "No" answers close a stray box, so that it fails the test instead
// of hanging it.
const QStringList kSpareNo(3, QStringLiteral("No"));

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

struct TempPrs
{
    QTemporaryDir dir{testenv::root() + QStringLiteral("/prs-XXXXXX")};
    QString path = dir.filePath(QStringLiteral("in.prs"));
};

// A demo model ready for use, as after the first refresh.
void startDemo(ts4820inst &m)
{
    m.setDemoVoltRef();
    m.readState();
}

// Edits like the panel's: {row, col, value} each.
void put(ts4820inst &m, std::initializer_list<std::array<int, 3>> cells)
{
    for (const auto &c : cells) {
        m.setState(c[0], c[1], char(c[2]));
    }
}

// Runs one model operation the way the panel does ("clearAliases 5": on
// column 5); the text is the result where the operation has one, "-" otherwise.
QString runOperation(ts4820inst &m, const QString &op)
{
    const int col = op.section(QLatin1Char(' '), 1).toInt();
    const QString path = testenv::root() + QStringLiteral("/transfer.prs");
    const QString p1 = QStringLiteral("P1"), none = QStringLiteral("-");
    const QMap<QString, std::function<QString()>> ops{
        {"readState",
         [&] {
             m.readState();
             return none;
         }},
        {"writeState",
         [&] {
             m.writeState();
             return none;
         }},
        {"setAlias",
         [&] {
             m.setAlias(3, col, QStringLiteral("in"));
             return none;
         }},
        {"clearAliases",
         [&] {
             m.clearAliases(col);
             return none;
         }},
        {"getPresetList", [&] { return m.getPresetList().join(QLatin1Char(',')); }},
        {"storePreset",
         [&] {
             m.storePreset(p1);
             return none;
         }},
        {"restorePreset",
         [&] {
             m.restorePreset(p1);
             return none;
         }},
        {"removePreset",
         [&] {
             m.removePreset(p1);
             return none;
         }},
        {"getDefaultPresetName", [&] { return m.getDefaultPresetName(); }},
        {"savePresetToFile", [&] { return QString::number(m.savePresetToFile(p1, path)); }},
        {"loadPresetFromFile", [&] { return QString::number(m.loadPresetFromFile(path)); }},
    };
    const QString name = op.section(QLatin1Char(' '), 0, 0);
    return ops.contains(name) ? ops[name]() : QStringLiteral("unknown operation ") + op;
}

} // namespace

class TestModel : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        driver().reset();
        ts1900fp_app::setModelText(4820);
        QSettings(kOrganisation, kApplication).clear();
    }

    void relayBitAddressing_data()
    {
        QTest::addColumn<QString>("subType");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("bit"); // in the packed words, from bit 0 of the first
        QTest::newRow("AA, Y1 is bit 96") << "AA" << 96 << 0 << 5 << 96;
        QTest::newRow("AA, A1 is bit 192") << "AA" << 96 << 0 << 1 << 192;
        QTest::newRow("BA, D96 is the last bit") << "BA" << 96 << 95 << 4 << 575;
        QTest::newRow("any other text, C101") << "aa" << 192 << 100 << 3 << 868;
    }
    void relayBitAddressing()
    {
        QFETCH(QString, subType);
        QFETCH(int, rows);
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(int, bit);
        QCOMPARE(ts4820inst::rowsForSubType(subType), rows);
        ts4820inst m(0, true, rows, subType);
        QCOMPARE(m.aliases, QStringList(2 * rows + 4));
        QStringList words(rows * 6 / 32, kZero);
        words[bit / 32] = QString::asprintf("%08x", 1u << bit % 32);
        const QString hex = words.join(',');
        const QString name = QStringLiteral("%1%2").arg(QLatin1Char("XABCDY"[col])).arg(row + 1);
        QByteArray pattern(m.patternSize(), 0);
        pattern[row * 6 + col] = 1;
        QCOMPARE(m.patternToHex(pattern.constData()), hex);
        // From all ones: every relay is written, the VRef entries are kept.
        m.matrixState = {QByteArray(m.patternSize(), 1)};
        m.hexToPattern(m.matrixState[0].data(), hex);
        QCOMPARE(view(m), QStringLiteral("[%1] links 1111 vref 1").arg(name));
    }

    void relayTextWordCount_data()
    {
        QTest::addColumn<QString>("subType");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("closed"); // empty: refused
        QStringList notHex(18, kZero);
        notHex[0] = "zz";
        notHex[3] = "00000001";
        QTest::newRow("17 words on 96 rows") << "AA" << QStringList(17, "ffffffff").join(',') << "";
        QTest::newRow("18 words on 192 rows") << "AB" << wordsText("00000001", 18) << "";
        QTest::newRow("36 words on 192 rows") << "AB" << wordsText("00000001", 36) << "X1";
        QTest::newRow("part that is not hex counts as 0") << "AA" << notHex.join(',') << "Y1";
    }
    void relayTextWordCount()
    {
        QFETCH(QString, subType);
        QFETCH(QString, text);
        QFETCH(QString, closed);
        const int rows = ts4820inst::rowsForSubType(subType);
        ts4820inst m(0, true, rows, subType);
        m.matrixState = {QByteArray(m.patternSize(), 1)};
        m.matrixState[0].replace(rows * 6, 5, QByteArray("\x01\x00\x01\x01\x07", 5));
        StdoutCapture capture;
        m.hexToPattern(m.matrixState[0].data(), text);
        const QString refused = closed.isEmpty() ? QStringLiteral("Bad relays data!\n") : QString();
        QCOMPARE(capture.text(), refused);
        QCOMPARE(view(m), "[" + closed + "] links 1011 vref 7");
    }

    void stateBounds_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("got");   // what getState reports
        QTest::addColumn<int>("index"); // where setState writes; -1: nowhere
        QTest::newRow("X1") << 0 << 0 << 1 << 0;
        QTest::newRow("Y96") << 95 << 5 << 0 << 575;
        QTest::newRow("link C") << -1 << 2 << 1 << 578;
        QTest::newRow("VRef index") << -1 << -1 << 9 << 580;
        QTest::newRow("link 4") << -1 << 4 << 255 << -1;
        QTest::newRow("column 6") << 0 << 6 << 255 << -1;
        QTest::newRow("column -1 of a relay row") << 3 << -1 << 255 << -1;
        QTest::newRow("row 96 of 96") << 96 << 0 << 255 << -1;
    }
    void stateBounds()
    {
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(int, got);
        QFETCH(int, index);
        ts4820inst m(0, true, 96, "AA");
        const QByteArray baseline(m.patternSize(), 0);
        QByteArray p = baseline;
        p[0] = p[576] = p[578] = 1;
        p[580] = 9;
        m.matrixState = {baseline, p};
        QCOMPARE(uchar(m.getState(row, col)), got);
        StdoutCapture capture;
        m.setState(row, col, 42);
        QCOMPARE(capture.text(), QString());
        if (index >= 0) {
            p[index] = 42;
        }
        QCOMPARE(m.matrixState, QList<QByteArray>({baseline, p}));
    }

    void vrefIndex_data()
    {
        QTest::addColumn<double>("volts");
        QTest::addColumn<int>("expected");
        QTest::newRow("4.4 is within 5% of 4.5") << 4.4 << 3;
        QTest::newRow("-8.6 is within 5% of -9") << -8.6 << 2;
        QTest::newRow("0.0004 is within 1 mV of 0") << 0.0004 << 0;
        QTest::newRow("0.0045 in single precision") << double(0.0045f) << 15;
        QTest::newRow("100 V matches nothing") << 100.0 << 0;
    }
    void vrefIndex()
    {
        QFETCH(double, volts);
        QFETCH(int, expected);
        ts4820inst m(0, true, 96, "AA");
        m.setDemoVoltRef();
        QCOMPARE(m.voltRef.n, 17);
        QCOMPARE(m.getVRefIndex(volts), expected);
    }

    void aliasLine_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("index"); // -1: rejected
        QTest::newRow("lower-case name") << 96 << "x12=Sense" << 11;
        QTest::newRow("lower-case bus") << 96 << "d=Sense" << 195;
        QTest::newRow("empty text clears") << 96 << "X5=" << 4;
        QTest::newRow("Y192 on 192 rows") << 192 << "Y192=Sense" << 383;
        QTest::newRow("row 0") << 96 << "X0=foo" << -1;
        QTest::newRow("row past 96") << 96 << "X97=foo" << -1;
        QTest::newRow("unknown letter") << 96 << "Q1=foo" << -1;
        QTest::newRow("three parts") << 96 << "X1=a=b" << -1;
        QTest::newRow("no =") << 96 << "X1" << -1;
    }
    void aliasLine()
    {
        QFETCH(int, rows);
        QFETCH(QString, line);
        QFETCH(int, index);
        ts4820inst m(0, true, rows, rows == 96 ? "AA" : "AB");
        m.aliases[0] = "keep";
        m.aliases[4] = "old";
        QStringList expected = m.aliases;
        if (index >= 0) {
            expected[index] = line.section('=', 1);
        }
        StdoutCapture capture;
        m.parseAliasLine(line);
        const QString refused = QString::asprintf("Bad alias data: '%s'!\n", qPrintable(line));
        QCOMPARE(capture.text(), index >= 0 ? QString() : refused);
        QCOMPARE(m.aliases, expected);
    }

    void instrumentReadWrite_data()
    {
        QTest::addColumn<bool>("withVRef");
        QTest::newRow("unit with VRef") << true;
        QTest::newRow("unit without VRef") << false;
    }
    void instrumentReadWrite()
    {
        QFETCH(bool, withVRef);
        useFakeUnit("AA");
        fake::FakeUnit &unit = driver().unit;
        unit.words[0] = 0x1;       // X1
        unit.words[3] = 1u << 5;   // Y6
        unit.words[17] = 1u << 31; // D96
        unit.vrefOutput = -0.45;   // index 8
        unit.links[1] = unit.links[3] = true;
        unit.aliases[0] = "a=b"; // refused, the lines after it still count
        unit.aliases[1] = "in";
        ts4820inst m(kVi, false, 96, "AA");
        if (withVRef) {
            useFakeVRef(m);
        }
        m.matrixState = {QByteArray(m.patternSize(), 1), QByteArray(m.patternSize(), 1)};
        m.aliases[5] = "stale"; // a name the unit no longer has
        ModalAnswer guard(kSpareNo);
        StdoutCapture capture;
        m.readState();
        QCOMPARE(capture.text(), QStringLiteral("Bad alias data: 'X1=a=b'!\n"));
        QStringList calls{"ts4820_getMatrixState(7, out)", "ts4820_getAlias(7, 0, 0, out)"};
        if (withVRef) {
            calls << "ts4820_getVoltRefOutput(7, out)";
        }
        for (int line = 3; line <= 6; ++line) {
            calls << QStringLiteral("ts4820_getVoltRefConnectionState(7, %1, out)").arg(line);
        }
        QCOMPARE(driver().callTexts(), calls);
        QCOMPARE(m.matrixState.size(), 1);
        QCOMPARE(view(m), QStringLiteral("[X1 Y6 D96] links 0101 vref %1").arg(withVRef ? 8 : 0));
        QCOMPARE(m.aliases, aliasesFrom({"X2=in"}));

        // Apply after closing A1 and Y96, linking B and C, choosing 4.5 V.
        driver().calls.clear();
        put(m, {{0, 1, 1}, {95, 5, 1}, {-1, 2, 1}, {-1, 3, 0}, {-1, -1, 3}});
        const QList<QByteArray> history = m.matrixState;
        m.writeState();
        QCOMPARE(guard.answered(), 0);
        QStringList words(18, kZero);
        words[0] = words[6] = "00000001";
        words[3] = "00000020";
        words[5] = words[17] = "80000000";
        calls = QStringList{"ts4820_setMatrixState(7, " + words.join(',') + ")"};
        for (const char *link : {"3, 0", "4, 1", "5, 1", "6, 0"}) {
            calls << QStringLiteral("ts4820_setVoltRefConnectionState(7, %1)").arg(link);
        }
        if (withVRef) {
            calls << "ts4820_setVoltRefOutput(7, 4.5)";
        }
        QCOMPARE(driver().callTexts(), calls);
        QCOMPARE(m.matrixState, history);
    }

    void driverErrorsAreReported_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("callText"); // of the call that fails, the first time
        QTest::addColumn<QString>("result");   // "?": not checked
        QTest::addColumn<QString>("calls");    // when not the usual ones, see below
        QTest::addColumn<bool>("warning");     // a warning rather than an error
        const auto row = [](const char *op, const char *callText, const char *result = "-",
                            const char *calls = "", bool warning = false) {
            const QString text(callText);
            QTest::newRow(
                qPrintable(QString(op) + ": " + text.section('(', 0, 0) + (warning ? " warns" : "")))
                << QString(op) << text << QString(result) << QString(calls) << warning;
        };
        row("readState", "ts4820_getMatrixState(d_vi, (ViInt32*)pattern)");
        row("readState", "ts4820_getAlias(d_vi, 0, 0, aliases)");
        row("readState", "ts4820_getVoltRefOutput(d_vi, &voltage)");
        row("readState", "ts4820_getVoltRefConnectionState(d_vi, ts4820_LINE_A+i, &state)");
        row("writeState", "ts4820_setMatrixState(d_vi, (ViInt32*)pattern)");
        row("writeState", "ts4820_setMatrixState(d_vi, (ViInt32*)pattern)", "-", "", true);
        row("writeState", "ts4820_setVoltRefConnectionState(d_vi, ts4820_LINE_A+i, "
                          "matrixState.last()[nRows*nCols+i])");
        row("writeState", "ts4820_setVoltRefOutput(d_vi, getVRefVoltage(matrixState.last()[nRows*nCols+4]))");
        row("setAlias", "ts4820_setAlias(d_vi, COL_MAGIC[col]+1, row+1, txt.toAscii().data())");
        row("clearAliases", "ts4820_setAlias(d_vi, COL_MAGIC[col]+1, r+1, (char*)\"\")");
        row("getPresetList", "ts4820_getPresetList(d_vi, &n)", "", "getPresetList");
        row("getPresetList", "ts4820_getPresetFromList(d_vi, i, name)", "P2"); // skips the name
        row("storePreset", "ts4820_storePreset(d_vi, name.toAscii().data())");
        row("restorePreset", "ts4820_restorePreset(d_vi, name.toAscii().data())");
        row("removePreset", "ts4820_removePreset(d_vi, name.toAscii().data())");
        row("getDefaultPresetName", "ts4820_getDefaultPresetName(d_vi, name)", "?"); // unsettled
        row("savePresetToFile",
            "ts4820_savePresetToFile(d_vi, name.toAscii().data(), path.toLocal8Bit().data())", "1");
        row("loadPresetFromFile", "ts4820_loadPresetFromFile(d_vi, path.toLocal8Bit().data())", "0");
    }
    void driverErrorsAreReported()
    {
        QFETCH(QString, operation);
        QFETCH(QString, callText);
        QFETCH(QString, result);
        QFETCH(QString, calls);
        QFETCH(bool, warning);
        const QString function = callText.section('(', 0, 0);
        const ViStatus status = warning ? ts4820_WARN_TRUNCATED : VI_ERROR_TMO;
        useFakeUnit("AA");
        driver().unit.presets = {{"P1", FakePreset()}, {"P2", FakePreset()}};
        driver().errorTexts[status] = QStringLiteral("Unit did not answer");
        ts4820inst m(kVi, false, 96, "AA");
        useFakeVRef(m);
        m.readState();
        m.setState(0, 0, 1);
        driver().calls.clear();
        driver().script(function, status, 1);
        QList<QPair<ViStatus, QString>> reports;
        m.setReporter([&](ViStatus s, const char *call) { reports.append({s, QString::fromLatin1(call)}); });
        StdoutCapture capture; // restorePreset's own line is checked elsewhere
        const QString got = runOperation(m, operation);
        capture.text();
        QCOMPARE(reports, (QList<QPair<ViStatus, QString>>{{status, callText}}));
        // Unless a row says otherwise, the operation makes its usual calls.
        const QMap<QString, QString> usual{
            {"readState", "getMatrixState getAlias getVoltRefOutput getVoltRefConnectionState*4"},
            {"writeState", "setMatrixState setVoltRefConnectionState*4 setVoltRefOutput"},
            {"clearAliases", "setAlias*96"},
            {"getPresetList", "getPresetList getPresetFromList*2"},
            {"restorePreset", "restorePreset getVoltRefOutput"}};
        QCOMPARE(driver().callNames(), callList(calls.isEmpty() ? usual.value(operation, operation) : calls));
        if (result != QLatin1String("?")) {
            QCOMPARE(got, result);
        }
        if (warning) { // not a failure: the call's work is used
            QCOMPARE(driver().unit.words.value(0), quint32(1));
        }
    }

    void instrumentCalls_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("withVRef");
        QTest::addColumn<QString>("output");
        const auto row = [](const char *name, const char *op, const QStringList &calls,
                            const char *result = "-", bool withVRef = true, const char *output = "") {
            QTest::newRow(name) << QString(op) << calls << QString(result) << withVRef << QString(output);
        };
        const QString path = testenv::root() + QStringLiteral("/transfer.prs");
        const auto clears = [](int line, int count) {
            QStringList calls;
            for (int r = 1; r <= count; ++r) {
                calls << QStringLiteral("ts4820_setAlias(7, %1, %2, \"\")").arg(line).arg(r);
            }
            return calls;
        };
        // Lines X, Y, A..D are 1..6 for the driver; a bus has one name, X and Y one a row.
        row("set alias Y4", "setAlias 5", {"ts4820_setAlias(7, 2, 4, \"in\")"});
        row("clear X", "clearAliases 0", clears(1, 192));
        row("clear A", "clearAliases 1", clears(3, 1));
        row("clear B", "clearAliases 2", clears(4, 1));
        row("clear C", "clearAliases 3", clears(5, 1));
        row("clear D", "clearAliases 4", clears(6, 1));
        row("clear Y", "clearAliases 5", clears(2, 192));
        row("list, in the unit's order", "getPresetList",
            {"ts4820_getPresetList(7, out)", "ts4820_getPresetFromList(7, 0, out)",
             "ts4820_getPresetFromList(7, 1, out)"},
            "P1,Alpha");
        row("store", "storePreset", {"ts4820_storePreset(7, \"P1\")"});
        row("remove", "removePreset", {"ts4820_removePreset(7, \"P1\")"});
        row("restore without VRef: one call", "restorePreset", {"ts4820_restorePreset(7, \"P1\")"}, "-",
            false);
        row("restore with VRef reads the output back", "restorePreset",
            {"ts4820_restorePreset(7, \"P1\")", "ts4820_getVoltRefOutput(7, out)"}, "-", true,
            "BUG? VREF voltage immediatelly after ts4820_restorePreset() : 4.500000\n");
        row("default name as the unit has it", "getDefaultPresetName",
            {"ts4820_getDefaultPresetName(7, out)"}, "Bench 3*");
        row("save to file", "savePresetToFile",
            {QStringLiteral("ts4820_savePresetToFile(7, \"P1\", \"%1\")").arg(path)}, "1");
        row("load from file", "loadPresetFromFile",
            {QStringLiteral("ts4820_loadPresetFromFile(7, \"%1\")").arg(path)}, "0");
    }
    void instrumentCalls()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, calls);
        QFETCH(QString, result);
        QFETCH(bool, withVRef);
        QFETCH(QString, output);
        useFakeUnit("AB");
        FakePreset p1;
        p1.words = QVector<quint32>(36, 0);
        p1.volts = 4.5;
        driver().unit.presets = {{"P1", p1}, {"Alpha", FakePreset()}};
        driver().unit.defaultPresetName = "Bench 3*";
        if (operation == "loadPresetFromFile") { // a file the unit wrote earlier
            ts4820inst writer(kVi, false, 192, "AB");
            QVERIFY(writer.savePresetToFile("P1", testenv::root() + "/transfer.prs"));
            driver().unit.presets.clear();
            driver().calls.clear();
        }
        ts4820inst m(kVi, false, 192, "AB");
        if (withVRef) {
            useFakeVRef(m);
        }
        m.matrixState = {QByteArray(m.patternSize(), 0)};
        m.setState(3, 3, 1);
        const QList<QByteArray> history = m.matrixState;
        ModalAnswer guard(kSpareNo);
        StdoutCapture capture;
        QCOMPARE(runOperation(m, operation), result);
        QCOMPARE(capture.text(), output);
        QCOMPARE(guard.answered(), 0);
        QCOMPARE(driver().callTexts(), calls);
        QCOMPARE(m.matrixState, history); // the caller refreshes
    }

    void demoApplySurvivesRestart()
    {
        {
            ts4820inst m(0, true, 96, "AA");
            startDemo(m);
            m.addToUndoList();
            put(m, {{5, 0, 1}, {0, 5, 1}, {95, 4, 1}, {-1, 1, 1}, {-1, 3, 1}, {-1, -1, 7}});
            m.writeState();
            QCOMPARE(m.matrixState.size(), 2); // Apply leaves the history alone
        }
        ts4820inst again(0, true, 96, "AA");
        again.setDemoVoltRef();
        StdoutCapture capture;
        again.readState();
        QCOMPARE(capture.text(), QString());
        QCOMPARE(view(again), QStringLiteral("[Y1 X6 D96] links 0101 vref 7"));
        QCOMPARE(again.getDefaultPresetName(), QStringLiteral("*"));

        // Each subtype is a unit of its own: this one starts empty.
        ts4820inst other(0, true, 96, "BA");
        other.setDemoVoltRef();
        StdoutCapture otherCapture;
        other.readState();
        QCOMPARE(otherCapture.text(), QStringLiteral("Bad relays data!\n"));
        QCOMPARE(view(other), QStringLiteral("[] links 0000 vref 0"));
        QCOMPARE(other.getDefaultPresetName(), QString());
        QVERIFY(driver().calls.isEmpty());
    }

    void demoPresets()
    {
        ts4820inst m(0, true, 96, "AA");
        startDemo(m);
        put(m, {{0, 0, 1}, {-1, 1, 1}, {-1, -1, 15}}); // 0.0045 V
        m.writeState();
        m.setAlias(0, 0, "in");
        QCOMPARE(m.getPresetList(), QStringList()); // {current} is not a preset
        m.storePreset("P1");
        QCOMPARE(m.getPresetList(), QStringList{"P1"});
        QCOMPARE(m.getDefaultPresetName(), QStringLiteral("P1"));
        put(m, {{0, 0, 0}, {1, 0, 1}, {-1, -1, 0}});
        m.writeState();
        QCOMPARE(m.getDefaultPresetName(), QStringLiteral("P1*"));
        m.restorePreset("P1");
        QCOMPARE(m.getDefaultPresetName(), QStringLiteral("P1"));
        m.readState();
        QCOMPARE(view(m), QStringLiteral("[X1] links 0100 vref 15"));
        QCOMPARE(m.aliases, aliasesFrom({"X1=in"}));
        m.setAlias(1, 0, "two");
        QCOMPARE(m.getDefaultPresetName(), QStringLiteral("P1*"));
        m.setAlias(40, 3, "bus"); // a bus takes its name from any row
        m.clearAliases(0);        // every X line
        QCOMPARE(m.aliases, aliasesFrom({"C=bus"}));
        QCOMPARE(QSettings(kOrganisation, kApplication).value("AA/Presets/{current}/Alias").toStringList(),
                 QStringList{"C=bus"});
        m.clearCurrentPresetName();
        QCOMPARE(m.getDefaultPresetName(), QString());
        m.storePreset("P2");
        m.removePreset("P1");
        QCOMPARE(m.getPresetList(), QStringList{"P2"});

        m.restorePreset("nope"); // restores as everything open and unnamed
        StdoutCapture capture;
        m.readState();
        QCOMPARE(capture.text(), QStringLiteral("Bad relays data!\n"));
        QCOMPARE(view(m), QStringLiteral("[] links 0000 vref 0"));
        QCOMPARE(m.aliases, QStringList(196));
        QVERIFY(driver().calls.isEmpty());
    }

    void undoHistory()
    {
        ts4820inst empty(0, true, 96, "AA");
        StdoutCapture nothing;
        empty.addToUndoList();
        QVERIFY(!empty.undo());
        empty.setState(0, 0, 1);
        QCOMPARE(nothing.text(), QStringLiteral("ts4820inst::addToUndoList: Shouldn't be here...\n"
                                                "Undo #0\nsetState - ERROR!\n"));
        QVERIFY(empty.matrixState.isEmpty());
        QCOMPARE(uchar(empty.getState(0, 0)), 255);

        ts4820inst m(0, true, 96, "AA");
        startDemo(m);
        put(m, {{-1, -1, 5}, {-1, 2, 1}});
        const QByteArray baseline = m.matrixState.last();
        StdoutCapture added;
        m.addToUndoList();
        put(m, {{3, 0, 1}, {5, 0, 1}}); // one step for the whole action
        m.addToUndoList();
        m.setState(4, 0, 1);
        QCOMPARE(added.text(), QStringLiteral("Added undo step #2\nAdded undo step #3\n"));
        QCOMPARE(m.matrixState.first(), baseline); // each step is a copy
        QCOMPARE(view(m), QStringLiteral("[X4 X5 X6] links 0010 vref 5"));

        StdoutCapture undone;
        QVERIFY(m.undo());
        QCOMPARE(view(m), QStringLiteral("[X4 X6] links 0010 vref 5"));
        QVERIFY(!m.undo());
        QCOMPARE(m.matrixState.last(), baseline);
        QVERIFY(!m.undo());
        QCOMPARE(m.matrixState.size(), 1);
        QCOMPARE(undone.text(), QStringLiteral("Undo #2\nUndo #1\nUndo #1\n"));
    }

    void demoSavePresetFile()
    {
        ts4820inst m(0, true, 96, "AA");
        startDemo(m);
        put(m, {{0, 0, 1}, {-1, 0, 1}, {-1, 3, 1}, {-1, -1, 3}});
        m.writeState();
        m.storePreset("Bench");
        TempPrs prs;
        const QString head = "configname=Bench\nmainrelays=" + wordsText("00000001", 18) + "\n";
        const auto saved = [&] {
            QFile f(prs.path);
            return m.savePresetToFile("Bench", prs.path) && f.open(QIODevice::ReadOnly)
                       ? QString::fromLatin1(f.readAll())
                       : QStringLiteral("not saved");
        };
        QCOMPARE(saved(), head + "vrefvolt=4.500000\nvrefrelays=9");
        put(m, {{-1, 1, 1}, {-1, 2, 1}, {-1, -1, 16}});
        m.writeState();
        m.setAlias(5, 2, "bus");
        m.setAlias(0, 0, "in");
        m.storePreset("Bench");
        QCOMPARE(saved(), head + "vrefvolt=-0.004500\nvrefrelays=f\n==alias==\nX1=in\nB=bus");
        QVERIFY(driver().calls.isEmpty());
        const QString nowhere = testenv::root() + "/no-such-folder/bench.prs";
        QVERIFY(!m.savePresetToFile("Bench", nowhere));
        QVERIFY(!QFile::exists(nowhere));
        QVERIFY(!m.savePresetToFile("Bench", prs.dir.path())); // a folder, not a file
    }

    void presetFile_data()
    {
        QTest::addColumn<QString>("subType");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("code"); // -1: no file
        // Read: "name|volts|buses|alias lines" (the relays are always the 18
        // words below); refused: the diagnostic.
        QTest::addColumn<QString>("seen");
        const QByteArray w96 = wordsText("00000001", 18).toLatin1();
        const QByteArray body = "configname=Bench\nmainrelays=" + w96 + "\nvrefvolt=4.500000\nvrefrelays=9";
        const QByteArray aliased = body + "\n==alias==\nX1=in\nB=bus";
        const QString diag = QStringLiteral("ts4820inst::parsePresetFile_%1: syntax error at line: '%2'\n");
        QTest::newRow("as written") << "AA" << aliased << 0 << "Bench|4.5|1001|X1=in,B=bus";
        QTest::newRow("CR LF line ends")
            << "AA" << QByteArray(aliased).replace("\n", "\r\n") << 0 << "Bench|4.5|1001|X1=in,B=bus";
        QTest::newRow("keys in any order")
            << "AA"
            << "vrefvolt=-0.045000\nconfigname=Odd\nvrefrelays=f\nmainrelays=" + w96 << 0
            << "Odd|-0.045|1111|";
        QTest::newRow("empty line after ==alias== is an alias line")
            << "AA" << body + "\n==alias==\nX1=in\n\nB=bus" << 0 << "Bench|4.5|1001|X1=in,,B=bus";
        QTest::newRow("missing file") << "AA" << QByteArray() << -1 << "";
        QTest::newRow("empty line before ==alias==")
            << "AA" << body + "\n\n==alias==\nX1=in" << 1 << diag.arg(529).arg("");
        QTest::newRow("96-row file on a 192-row unit")
            << "AB" << body << 2 << diag.arg(549).arg("mainrelays=" + QString(w96));
        QTest::newRow("mask above f")
            << "AA" << QByteArray("configname=E\nvrefrelays=10") << 3 << diag.arg(568).arg("vrefrelays=10");
        QTest::newRow("mask not hex")
            << "AA" << QByteArray("vrefrelays=g\nconfigname=E") << 3 << diag.arg(568).arg("vrefrelays=g");
    }
    void presetFile()
    {
        QFETCH(QString, subType);
        QFETCH(QByteArray, content);
        QFETCH(int, code);
        QFETCH(QString, seen);
        TempPrs prs;
        if (code != -1) {
            writeAll(prs.path, content);
        }
        ts4820inst m(0, true, ts4820inst::rowsForSubType(subType), subType);
        QString name = "junk", relays = "junk";
        double volts = 99.0;
        bool a = false, b = false, c = false, d = false;
        QStringList aliasList{"junk"};
        StdoutCapture capture;
        QCOMPARE(m.parsePresetFile(prs.path, name, relays, volts, a, b, c, d, aliasList), code);
        if (code == 0) { // read silently
            QCOMPARE(relays, wordsText("00000001", 18));
            const QString buses = QStringLiteral("%1%2%3%4").arg(a).arg(b).arg(c).arg(d);
            const QStringList parts{name, QString::number(volts), buses, aliasList.join(',')};
            QCOMPARE(capture.text() + parts.join('|'), seen);
            return;
        }
        QCOMPARE(capture.text(), seen);
        // Loading the same file into the demo store refuses it and changes nothing.
        startDemo(m);
        m.setAlias(0, 0, "in");
        m.storePreset("Mine");
        const QStringList aliases = m.aliases;
        const QStringList keys = QSettings(kOrganisation, kApplication).allKeys();
        StdoutCapture loading;
        QCOMPARE(int(m.loadPresetFromFile(prs.path)), code);
        QCOMPARE(loading.text(), seen + QStringLiteral("parsePresetFile error: #%1\n").arg(code));
        QCOMPARE(QSettings(kOrganisation, kApplication).allKeys(), keys);
        QCOMPARE(m.aliases, aliases);
    }

    void demoLoadPresetStores()
    {
        ts4820inst m(0, true, 96, "AA");
        startDemo(m);
        m.setAlias(1, 0, "live");
        m.storePreset("Mine");
        const QStringList live = m.aliases;
        QStringList words(18, kZero);
        words[0] = words[6] = "00000001"; // X1, A1
        const QStringList fileAliases{"X1=in", "X1=a=b", "C=bus"};
        TempPrs prs;
        writeAll(prs.path, "configname=Loaded\nmainrelays=" + words.join(',').toLatin1()
                               + "\nvrefvolt=-0.450000\nvrefrelays=5\n==alias==\n"
                               + fileAliases.join('\n').toLatin1());
        StdoutCapture capture;
        QCOMPARE(int(m.loadPresetFromFile(prs.path)), 0);
        QCOMPARE(capture.text(), QStringLiteral("Bad alias data: 'X1=a=b'!\n"));
        const QSettings store(kOrganisation, kApplication);
        QCOMPARE(store.value("AA/Presets/Loaded/Relays").toString(), words.join(','));
        QCOMPARE(store.value("AA/Presets/Loaded/Alias").toStringList(), fileAliases);
        QCOMPARE(store.value("AA/Presets/Loaded/VRef/Voltage").toDouble(), -0.45);
        // Uploading is not restoring: the current preset and the live names stay.
        QCOMPARE(m.getDefaultPresetName(), QStringLiteral("Mine"));
        QCOMPARE(m.aliases, live);
        QVERIFY(m.getPresetList().contains("Loaded"));
        m.restorePreset("Loaded");
        StdoutCapture again;
        m.readState();
        QCOMPARE(again.text(), QStringLiteral("Bad alias data: 'X1=a=b'!\n"));
        QCOMPARE(view(m), QStringLiteral("[X1 A1] links 1010 vref 8"));
        QCOMPARE(m.aliases, aliasesFrom({"X1=in", "C=bus"}));
        QVERIFY(driver().calls.isEmpty());
    }
};

TS_TEST_MAIN(TestModel)
#include "test_model.moc"
