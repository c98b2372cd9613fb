#include "schematic.h"

#include <QComboBox>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "alias.h"
#include "helptext.h"
#include "matrixtext.h"
#include "relaybutton.h"
#include "ts4820inst.h"

namespace {
const QColor kCanvas(0xee, 0xee, 0xee);
const char kBusLetters[] = "ABCD";
const QString kVRefCaption = QStringLiteral("Voltage Reference [V]");

// The drawing's grid at 100 %; every coordinate is multiplied by the scale.
// Rows are kRowPitch apart, row r's line at rowY(r); the four buses are
// kBusPitch apart, each drawn from where it leaves a row (its tap) to its
// vertical line.
namespace grid {
constexpr int kWidth = 800;
constexpr int kRowPitch = 50;
constexpr int kBusPitch = 120;
constexpr int kFirstRowY = 120; // row 0's line
constexpr int kVRefRowY = 70;   // the voltage reference's line
constexpr int kBusTapX = 180;   // bus A leaves a row here...
constexpr int kBusLineX = 240;  // ...to its line
constexpr int kBranchDy = -20;  // a bus branch runs this far above its row
constexpr int kXRelayX = 129;
constexpr int kYRelayX = 639;
constexpr int kBusRelayX = 199;   // bus A's relay of a row, and VRA
constexpr int kLineRelayDy = -11; // an X or Y relay's top, from its row's line
constexpr int kBusRelayDy = -31;  // a bus relay's top
constexpr int kLineLabelDy = -10; // the X and Y labels' top
constexpr int kBusLabelDy = -40;  // a bus relay's label
constexpr int kButtonInset = 3;   // a relay button's frame around its square

constexpr int rowY(int row) { return kFirstRowY + kRowPitch * row; }
constexpr int busDx(int bus) { return kBusPitch * bus; }
} // namespace grid

// More decimals for smaller voltages; a sign always.
QString voltageText(double volts)
{
    const double magnitude = std::fabs(volts);
    const int decimals = magnitude >= 1.0 ? 5 : (magnitude >= 0.1 ? 6 : 7);
    return (volts >= 0.0 ? QStringLiteral("+") : QString()) + QString::number(volts, 'f', decimals);
}
} // namespace

Schematic::Schematic(ts4820inst *instrument, QWidget *parent)
    : QWidget(parent), instrument(instrument), nRows(instrument->nRows), nCols(instrument->nCols)
{
    // The canvas colour is painted here rather than by a style sheet: a
    // style sheet on this widget would make each of its ~1 500 children
    // slower to create and polish, for the same look.
    setProperty("SchematicCanvas", true);
    QPalette canvas = palette();
    canvas.setColor(QPalette::Window, kCanvas);
    setPalette(canvas);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::ClickFocus);

    createRelays();
    createAliases();
    createVRefRelays();
    vrefCombo = new QComboBox(this);
    // Sized to its texts whenever they or the font change, not only when
    // first shown: a size worked out for the start-up font clipped them.
    vrefCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // The caption is painted; a screen reader names the combo by a label of
    // the same text that it alone sees.
    auto *caption = new QLabel(kVRefCaption, this);
    caption->setBuddy(vrefCombo);
    caption->hide();
    connect(vrefCombo, &QComboBox::currentIndexChanged, this, &Schematic::vrefVoltageChanged);
    setScale(scale);
}

void Schematic::createRelays()
{
    relays.reserve(nRows * nCols + 4);
    for (int r = 0; r < nRows; ++r) {
        for (int c = 0; c < nCols; ++c) {
            auto *button = new RelayButton(this, r, c, scale, nRows);
            connect(button, &RelayButton::relayToggled, this, &Schematic::relayToggledSlot);
            connect(button, &RelayButton::customClicked, this, &Schematic::customRelayToggle);
            connect(button, &RelayButton::openCloseClicked, this, &Schematic::openCloseClicked);
            relays.append(button);
        }
    }
}

void Schematic::createAliases()
{
    auto addAlias = [this](int row, int col) {
        auto *alias = new Alias(this, row, col, scale, nRows);
        connect(alias, &Alias::edited, this, &Schematic::aliasEdited);
        connect(alias, &Alias::clearAllRequested, this, &Schematic::clearAliasRequested);
        aliasWidgets.append(alias);
    };
    aliasWidgets.reserve(2 * nRows + 8);
    for (int c : {0, nCols - 1}) {
        for (int r = 0; r < nRows; ++r) {
            addAlias(r, c);
        }
    }
    for (int row : {0, nRows}) {
        for (int c = 1; c <= 4; ++c) {
            addAlias(row, c);
        }
    }
}

void Schematic::createVRefRelays()
{
    for (int k = 0; k < 4; ++k) {
        auto *button = new RelayButton(this, -1, k, scale, nRows);
        connect(button, &RelayButton::relayToggled, this, &Schematic::relayToggledSlot);
        relays.append(button);
    }
}

RelayButton *Schematic::relayAt(int row, int col) const { return relays.at(row * nCols + col); }

RelayButton *Schematic::vrefRelay(int bus) const { return relays.at(nRows * nCols + bus); }

QRect Schematic::vrefCaptionRect() const
{
    // Just above the combo, so that the frame of a pending voltage, drawn a
    // pixel outside it, never crosses the text at any scale.
    const int height = int(20 * scale);
    return QRect(int(647 * scale), vrefCombo->y() - 2 - height, int(125 * scale), height);
}

// ---- layout --------------------------------------------------------------

void Schematic::setScale(double s)
{
    using namespace grid;
    scale = s;
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    setFixedSize(int(kWidth * s), int((nRows + 3) * kRowPitch * s));

    const auto place = [s](QWidget *button, int x, int y) {
        button->move(int(x * s) - kButtonInset, int(y * s) - kButtonInset);
    };
    for (int r = 0; r < nRows; ++r) {
        for (int c = 0; c < nCols; ++c) {
            const bool line = c == 0 || c == nCols - 1;
            const int x = c == 0 ? kXRelayX : (c == nCols - 1 ? kYRelayX : kBusRelayX + busDx(c - 1));
            RelayButton *button = relayAt(r, c);
            place(button, x, rowY(r) + (line ? kLineRelayDy : kBusRelayDy));
            button->setScale(s);
            setRelayChecked(button, instrument->getState(r, c) > 0);
        }
    }
    for (int r = 0; r < nRows; ++r) {
        const int y = int(20 * s + int((rowY(r) + kLineRelayDy) * s));
        Alias *xName = aliasWidgets.at(aliasSlot(r, 0)), *yName = aliasWidgets.at(aliasSlot(r, nCols - 1));
        xName->move(int(int(kXRelayX * s) - 115 * s), y);
        xName->setScale(s);
        yName->move(int(65 * s + int(kYRelayX * s)), y);
        yName->setScale(s);
    }
    for (int k = 0; k < 4; ++k) {
        Alias *top = aliasWidgets.at(aliasSlot(0, k + 1));
        Alias *bottom = aliasWidgets.at(aliasSlot(nRows, k + 1));
        top->move(int((kBusLineX + 10 + busDx(k)) * s), int(5 * s));
        top->setScale(s);
        bottom->move(int((kBusLineX + 10 + busDx(k)) * s), int((rowY(nRows) - 15) * s));
        bottom->setScale(s);
        place(vrefRelay(k), kBusRelayX + busDx(k), kVRefRowY + kBusRelayDy);
        vrefRelay(k)->setScale(s);
    }

    QFont comboFont = font();
    comboFont.setFamily(QStringLiteral("Arial"));
    comboFont.setPointSize(int(font().pointSize() * s + 1.0));
    vrefCombo->setFont(comboFont);
    vrefCombo->setStyleSheet(QStringLiteral("QComboBox QAbstractItemView::item {margin-top: 2px;}"));
    vrefCombo->adjustSize();
    const int h = vrefCombo->sizeHint().height();
    vrefCombo->move(int(647 * s), int(grid::kVRefRowY * s - h / 2));
    setUpdatesEnabled(updates);
}

void Schematic::loadVoltageChoices()
{
    const bool blocked = vrefCombo->blockSignals(true);
    vrefCombo->clear();
    const ts4820inst::VoltRef &table = instrument->voltRef;
    for (int i = 0; i < table.n; ++i) {
        vrefCombo->addItem(voltageText(table.voltages[i]));
    }
    if (table.n == 0) {
        vrefCombo->addItem(QStringLiteral("External"));
        setHelpText(vrefCombo, QStringLiteral("No Voltage Reference installed. Voltage is taken "
                                              "from the external source."));
    } else {
        setHelpText(vrefCombo, QStringLiteral("Voltage on the output of Voltage Reference."));
    }
    vrefCombo->adjustSize();
    vrefCombo->blockSignals(blocked);
}

// ---- state ---------------------------------------------------------------

bool Schematic::isModified() const
{
    return vrefCombo->currentIndex() != appliedVRefIndex
           || std::any_of(relays.cbegin(), relays.cend(),
                          [](const RelayButton *button) { return button->isModified(); });
}

void Schematic::refresh()
{
    instrument->readState();
    loadPattern(instrument->matrixState.last().constData());
    setAliases(instrument->getAliases());
}

void Schematic::setRelayChecked(RelayButton *button, bool checked)
{
    if (button->isChecked() != checked) {
        const bool blocked = button->blockSignals(true);
        button->setChecked(checked);
        button->blockSignals(blocked);
    }
}

void Schematic::setComboIndexSilently(int index)
{
    const bool blocked = vrefCombo->blockSignals(true);
    vrefCombo->setCurrentIndex(index);
    vrefCombo->blockSignals(blocked);
}

void Schematic::finishBulkChange()
{
    setUpdatesEnabled(true);
    update();
    emit changed();
}

namespace {
// More changed relays than this are set with updates switched off.
constexpr int kBulkChange = 64;
} // namespace

void Schematic::loadPattern(const char *p)
{
    // A private copy: p may point into the model pattern being written.
    const QByteArray pattern(p, instrument->patternSize());
    const int relayCount = nRows * nCols;
    // Switching updates off and on touches every child of the schematic;
    // that pays only when many relays change, not for the few an Apply or
    // a refresh usually brings.
    int changes = 0;
    for (int i = 0; i < relayCount; ++i) {
        const bool closed = pattern.at(i) != 0;
        changes += relays.at(i)->isChecked() != closed || relays.at(i)->isApplied() != closed;
    }
    const bool bulk = changes > kBulkChange;
    if (bulk) {
        setUpdatesEnabled(false);
    }
    for (int i = 0; i < relayCount; ++i) {
        const char state = pattern.at(i);
        instrument->setState(i / nCols, i % nCols, state);
        setRelayChecked(relays.at(i), state != 0);
        relays.at(i)->setApplied(state != 0);
    }
    for (int k = 0; k < 4; ++k) {
        const char state = pattern.at(relayCount + k);
        instrument->setState(-1, k, state);
        setRelayChecked(vrefRelay(k), state != 0);
        vrefRelay(k)->setApplied(state != 0);
    }
    setComboIndexSilently(pattern.at(relayCount + 4));
    appliedVRefIndex = vrefCombo->currentIndex();
    if (bulk) {
        finishBulkChange();
    } else {
        update();
        emit changed();
    }
}

int Schematic::aliasSlot(int row, int col) const
{
    if (col == 0 || col == nCols - 1) {
        return (col == 0 ? 0 : nRows) + row;
    }
    return 2 * nRows + (row == 0 ? 0 : 4) + col - 1;
}

void Schematic::setAliases(const QStringList &a)
{
    // The model has one name a bus, shown at its top and bottom end.
    for (Alias *alias : aliasWidgets) {
        alias->setText(a.value(matrixtext::aliasIndex(alias->row, alias->col, nRows)));
    }
}

void Schematic::showPatternState()
{
    for (int r = 0; r < nRows; ++r) {
        for (int c = 0; c < nCols; ++c) {
            setRelayChecked(relayAt(r, c), instrument->getState(r, c) > 0);
        }
    }
    for (int k = 0; k < 4; ++k) {
        setRelayChecked(vrefRelay(k), instrument->getState(-1, k) > 0);
    }
    setComboIndexSilently(instrument->getState(-1, -1));
}

bool Schematic::undo(bool update)
{
    const bool more = instrument->undo();
    setUpdatesEnabled(false);
    showPatternState();
    setUpdatesEnabled(true);
    if (update) {
        this->update();
    }
    return more;
}

void Schematic::undoAll()
{
    // The states between are never seen, so the relays are set once rather
    // than once a step: each step's switching of updates alone touches every
    // child of the schematic, which over a long history takes longer than
    // the operator should wait.
    while (instrument->undo()) {
    }
    setUpdatesEnabled(false);
    showPatternState();
    setUpdatesEnabled(true);
    update();
}

// ---- bulk relay operations ----------------------------------------------

void Schematic::setColumn(int c, char st, bool single)
{
    if (single) {
        setUpdatesEnabled(false);
        instrument->addToUndoList();
    }
    for (int r = 0; r < nRows; ++r) {
        setRelayChecked(relayAt(r, c), st != 0);
        instrument->setState(r, c, st);
    }
    if (single) {
        finishBulkChange();
    }
}

void Schematic::setRowXY(int r, char st)
{
    setUpdatesEnabled(false);
    instrument->addToUndoList();
    for (int c : {0, nCols - 1}) {
        setRelayChecked(relayAt(r, c), st != 0);
        instrument->setState(r, c, st);
    }
    finishBulkChange();
}

void Schematic::setRowBuses(int r, char st)
{
    setUpdatesEnabled(false);
    instrument->addToUndoList();
    for (int c = 1; c <= 4; ++c) {
        setRelayChecked(relayAt(r, c), st != 0);
        instrument->setState(r, c, st);
    }
    finishBulkChange();
}

void Schematic::setAll(char st)
{
    setUpdatesEnabled(false);
    instrument->addToUndoList();
    for (int c = 0; c < nCols; ++c) {
        setColumn(c, st, false);
    }
    finishBulkChange();
}

void Schematic::resetVRef(bool addUndo)
{
    setUpdatesEnabled(false);
    if (addUndo) {
        instrument->addToUndoList();
    }
    for (int k = 0; k < 4; ++k) {
        setRelayChecked(vrefRelay(k), false);
        instrument->setState(-1, k, 0);
    }
    setComboIndexSilently(0);
    instrument->setState(-1, -1, 0);
    finishBulkChange();
}

void Schematic::clearMarks()
{
    for (int i = 0; i < nRows * nCols; ++i) {
        relays.at(i)->setMarked(false);
    }
}

void Schematic::markRelay(int r, int c) { relayAt(r, c)->setMarked(true); }

void Schematic::applyMarked(bool close)
{
    setUpdatesEnabled(false);
    instrument->addToUndoList();
    for (int i = 0; i < nRows * nCols; ++i) {
        if (relays.at(i)->isMarked()) {
            setRelayChecked(relays.at(i), close);
            instrument->setState(i / nCols, i % nCols, close ? 1 : 0);
        }
    }
    finishBulkChange();
}

// ---- aliases -------------------------------------------------------------

void Schematic::clearAliases(int id)
{
    if (id == 0 || id == nCols - 1) {
        for (int r = 0; r < nRows; ++r) {
            aliasWidgets.at(aliasSlot(r, id))->setText(QString());
        }
    } else if (id >= 1 && id <= 4) {
        aliasWidgets.at(aliasSlot(0, id))->setText(QString());
        aliasWidgets.at(aliasSlot(nRows, id))->setText(QString());
    }
    instrument->clearAliases(id);
    emit aliasChanged();
}

// ---- slots ---------------------------------------------------------------

void Schematic::relayToggledSlot(int row, int col, char state)
{
    instrument->addToUndoList();
    instrument->setState(row, col, state);
    emit changed();
}

void Schematic::vrefVoltageChanged(int idx)
{
    instrument->addToUndoList();
    instrument->setState(-1, -1, char(idx));
    emit changed();
    repaint();
}

void Schematic::aliasEdited(int row, int col, QString txt)
{
    // A bus's name shows at both its ends: the other end follows.
    if (col >= 1 && col <= 4) {
        aliasWidgets.at(aliasSlot(row == 0 ? nRows : 0, col))->setText(txt);
    }
    instrument->setAlias(row, col, txt);
    emit aliasChanged();
}

// ---- painting ------------------------------------------------------------

void Schematic::paintEvent(QPaintEvent *event)
{
    using namespace grid;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont textFont(QStringLiteral("Arial"));
    textFont.setPointSize(std::max(1, px(8)));
    textFont.setBold(true);
    painter.setFont(textFont);

    // The X and Y terminal strips.
    painter.setBrush(QColor(200, 200, 200));
    painter.drawRect(px(10), px(rowY(0) - 20), px(90), px(kRowPitch * nRows + 13));
    painter.drawRect(px(700), px(rowY(0) - 20), px(90), px(kRowPitch * nRows + 13));
    painter.setBrush(Qt::NoBrush);

    paintVRefRow(painter);
    // Only the rows that the exposed area touches: the widget is tall and
    // mostly scrolled out of view.
    const QRect area = event->rect();
    const int first = std::max(0, int(std::floor((area.top() / scale - (rowY(0) + 10)) / kRowPitch)));
    const int last =
        std::min(nRows - 1, int(std::ceil((area.bottom() / scale - (rowY(0) + kBusLabelDy)) / kRowPitch)));
    for (int r = first; r <= last; ++r) {
        paintRow(painter, r);
    }
    paintBusLines(painter);

    if (vrefCombo->currentIndex() != appliedVRefIndex) {
        painter.setPen(QPen(QColor(255, 255, 0), 3));
        painter.drawRect(vrefCombo->geometry().adjusted(-1, -1, 1, 1));
    }
}

// A bus's branch off the line at height y: up from its tap, across to the
// bus line, with a dot at the bus and, when `tapDot`, one at the tap.
void Schematic::paintBranch(QPainter &painter, int bus, int y, bool tapDot)
{
    using namespace grid;
    const int tap = kBusTapX + busDx(bus), line = kBusLineX + busDx(bus);
    painter.drawLine(px(tap), px(y), px(tap), px(y + kBranchDy));
    painter.drawLine(px(tap), px(y + kBranchDy), px(line), px(y + kBranchDy));
    painter.setBrush(Qt::black);
    if (tapDot) {
        painter.drawEllipse(px(tap - 3), px(y - 3), px(6), px(6));
    }
    painter.drawEllipse(px(line - 3), px(y + kBranchDy - 3), px(6), px(6));
    painter.setBrush(Qt::NoBrush);
}

void Schematic::paintVRefRow(QPainter &painter)
{
    using namespace grid;
    painter.drawText(vrefCaptionRect(), Qt::AlignLeft | Qt::AlignVCenter, kVRefCaption);
    painter.drawLine(px(kBusTapX), px(kVRefRowY), px(630), px(kVRefRowY));
    painter.drawEllipse(px(630), px(kVRefRowY - 3), px(6), px(6));
    for (int k = 0; k < 4; ++k) {
        const QString letter = QString(QLatin1Char(kBusLetters[k]));
        painter.drawText(QRect(px(kBusRelayX + 10 + busDx(k)), px(16), px(20), px(20)),
                         Qt::AlignRight | Qt::AlignVCenter, letter);
        paintBranch(painter, k, kVRefRowY, k != 0);
        painter.drawText(QRect(px(kBusTapX - 26 + busDx(k)), px(kVRefRowY + kBusLabelDy), px(40), px(20)),
                         Qt::AlignRight | Qt::AlignBottom, QStringLiteral("VR") + letter);
    }
}

void Schematic::paintRow(QPainter &painter, int r)
{
    using namespace grid;
    const int y = rowY(r);
    const QString number = QString::number(r + 1);
    painter.drawLine(px(90), px(y), px(710), px(y));
    painter.drawEllipse(px(83), px(y - 3), px(6), px(6));
    painter.drawEllipse(px(711), px(y - 3), px(6), px(6));
    painter.drawText(QRect(px(40), px(y + kLineLabelDy), px(36), px(20)), Qt::AlignRight | Qt::AlignVCenter,
                     QLatin1Char('X') + number);
    painter.drawText(QRect(px(724), px(y + kLineLabelDy), px(40), px(20)), Qt::AlignLeft | Qt::AlignVCenter,
                     QLatin1Char('Y') + number);
    for (int k = 0; k < 4; ++k) {
        const QString letter = QString(QLatin1Char(kBusLetters[k]));
        paintBranch(painter, k, y, true);
        painter.drawText(QRect(px(kBusTapX - 26 + busDx(k)), px(y + kBusLabelDy), px(40), px(20)),
                         Qt::AlignRight | Qt::AlignBottom, letter + number);
        if (r == nRows - 1) {
            painter.drawText(
                QRect(px(kBusRelayX + 10 + busDx(k)), px(rowY(nRows) + kLineLabelDy), px(20), px(20)),
                Qt::AlignRight | Qt::AlignVCenter, letter);
        }
    }
}

void Schematic::paintBusLines(QPainter &painter)
{
    using namespace grid;
    const int bottom = rowY(nRows);
    for (int k = 0; k < 4; ++k) {
        const int x = kBusLineX + busDx(k);
        painter.drawLine(px(x), px(30), px(x), px(bottom - 4));
        painter.setBrush(Qt::white);
        painter.drawEllipse(QPointF(x * scale, 26 * scale), 4 * scale, 4 * scale);
        painter.drawEllipse(QPointF(x * scale, bottom * scale), 4 * scale, 4 * scale);
        painter.setBrush(Qt::NoBrush);
    }
}
