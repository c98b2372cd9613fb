#include "schematic.h"

#include <QComboBox>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "alias.h"
#include "helptext.h"
#include "relaybutton.h"
#include "ts4820inst.h"

namespace {
const QColor kCanvas(0xee, 0xee, 0xee);
const char kBusLetters[] = "ABCD";

// More decimals for smaller voltages; a sign always.
QString voltageText(double volts)
{
    const double magnitude = std::fabs(volts);
    const int decimals = magnitude >= 1.0 ? 5 : (magnitude >= 0.1 ? 6 : 7);
    return (volts >= 0.0 ? QStringLiteral("+") : QString()) + QString::number(volts, 'f', decimals);
}
} // namespace

Schematic::Schematic(ts4820inst *instrument, QWidget *parent)
    : QWidget(parent), instrument(instrument), nRows(instrument->nRows),
      nCols(instrument->nCols)
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

RelayButton *Schematic::relayAt(int row, int col) const
{
    return relays.at(row * nCols + col);
}

RelayButton *Schematic::vrefRelay(int bus) const
{
    return relays.at(nRows * nCols + bus);
}

// ---- layout --------------------------------------------------------------

void Schematic::setScale(double s)
{
    scale = s;
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    setFixedSize(int(800 * s), int((nRows + 3) * 50 * s));

    const int buttonOffset = 3;
    for (int r = 0; r < nRows; ++r) {
        for (int c = 0; c < nCols; ++c) {
            const int x = c == 0 ? 129 : (c == nCols - 1 ? 639 : 120 * c + 79);
            const int y = (c == 0 || c == nCols - 1) ? 109 + 50 * r : 89 + 50 * r;
            RelayButton *button = relayAt(r, c);
            button->move(int(x * s) - buttonOffset, int(y * s) - buttonOffset);
            button->setScale(s);
            setRelayChecked(button, instrument->getState(r, c) > 0);
        }
    }
    for (int r = 0; r < nRows; ++r) {
        const int y = int(20 * s + int((109 + 50 * r) * s));
        aliasWidgets.at(r)->move(int(int(129 * s) - 115 * s), y);
        aliasWidgets.at(r)->setScale(s);
        aliasWidgets.at(nRows + r)->move(int(65 * s + int(639 * s)), y);
        aliasWidgets.at(nRows + r)->setScale(s);
    }
    for (int k = 0; k < 4; ++k) {
        Alias *top = aliasWidgets.at(2 * nRows + k);
        Alias *bottom = aliasWidgets.at(2 * nRows + 4 + k);
        top->move(int((250 + 120 * k) * s), int(5 * s));
        top->setScale(s);
        bottom->move(int((250 + 120 * k) * s), int((50 * nRows + 105) * s));
        bottom->setScale(s);
        RelayButton *vref = vrefRelay(k);
        vref->move(int((199 + 120 * k) * s) - buttonOffset, int(39 * s) - buttonOffset);
        vref->setScale(s);
    }

    QFont comboFont = font();
    comboFont.setFamily(QStringLiteral("Arial"));
    comboFont.setPointSize(int(font().pointSize() * s + 1.0));
    vrefCombo->setFont(comboFont);
    vrefCombo->setStyleSheet(QStringLiteral("QComboBox QAbstractItemView::item {margin-top: 2px;}"));
    vrefCombo->adjustSize();
    const int h = vrefCombo->sizeHint().height();
    vrefCombo->move(int(647 * s), int(70 * s - h / 2));
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
    return vrefCombo->currentIndex() != appliedVRefIndex ||
           std::any_of(relays.cbegin(), relays.cend(),
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

void Schematic::setAliases(const QStringList &a)
{
    for (int i = 0; i < aliasWidgets.size(); ++i) {
        const int source = i < 2 * nRows + 4 ? i : i - 4;
        aliasWidgets.at(i)->setText(a.value(source));
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

void Schematic::markRelay(int r, int c)
{
    relayAt(r, c)->setMarked(true);
}

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
        const int first = id == 0 ? 0 : nRows;
        for (int r = 0; r < nRows; ++r) {
            aliasWidgets.at(first + r)->setText(QString());
        }
    } else if (id >= 1 && id <= 4) {
        aliasWidgets.at(2 * nRows + id - 1)->setText(QString());
        aliasWidgets.at(2 * nRows + 4 + id - 1)->setText(QString());
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
    const bool bus = col >= 1 && col <= 4;
    if (bus && row == nRows) {
        aliasWidgets.at(2 * nRows + col - 1)->setText(txt);
    } else if (bus && row == 0) {
        aliasWidgets.at(2 * nRows + 4 + col - 1)->setText(txt);
    }
    instrument->setAlias(row, col, txt);
    emit aliasChanged();
}

// ---- painting ------------------------------------------------------------

void Schematic::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont textFont(QStringLiteral("Arial"));
    textFont.setPointSize(std::max(1, px(8)));
    textFont.setBold(true);
    painter.setFont(textFont);

    painter.setBrush(QColor(200, 200, 200));
    painter.drawRect(px(10), px(100), px(90), px(50 * nRows + 13));
    painter.drawRect(px(700), px(100), px(90), px(50 * nRows + 13));
    painter.setBrush(Qt::NoBrush);

    paintVRefRow(painter);
    // Only the rows that the exposed area touches: the widget is tall and
    // mostly scrolled out of view.
    const QRect area = event->rect();
    const int first = std::max(0, int(std::floor((area.top() / scale - 130) / 50.0)));
    const int last = std::min(nRows - 1, int(std::ceil((area.bottom() / scale - 80) / 50.0)));
    for (int r = first; r <= last; ++r) {
        paintRow(painter, r);
    }
    paintBusLines(painter);

    if (vrefCombo->currentIndex() != appliedVRefIndex) {
        painter.setPen(QPen(QColor(255, 255, 0), 3));
        painter.drawRect(vrefCombo->geometry().adjusted(-1, -1, 1, 1));
    }
}

void Schematic::paintVRefRow(QPainter &painter)
{
    painter.drawText(QRect(px(647), px(40), px(125), px(20)), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Voltage Reference [V]"));
    painter.drawLine(px(180), px(70), px(630), px(70));
    painter.drawEllipse(px(630), px(67), px(6), px(6));
    for (int k = 0; k < 4; ++k) {
        const int dx = 120 * k;
        const QString letter = QString(QLatin1Char(kBusLetters[k]));
        painter.drawText(QRect(px(209 + dx), px(16), px(20), px(20)),
                         Qt::AlignRight | Qt::AlignVCenter, letter);
        painter.drawLine(px(180 + dx), px(70), px(180 + dx), px(50));
        painter.drawLine(px(180 + dx), px(50), px(240 + dx), px(50));
        painter.setBrush(Qt::black);
        if (k != 0) {
            painter.drawEllipse(px(177 + dx), px(67), px(6), px(6));
        }
        painter.drawEllipse(px(237 + dx), px(47), px(6), px(6));
        painter.setBrush(Qt::NoBrush);
        painter.drawText(QRect(px(154 + dx), px(30), px(40), px(20)),
                         Qt::AlignRight | Qt::AlignBottom, QStringLiteral("VR") + letter);
    }
}

void Schematic::paintRow(QPainter &painter, int r)
{
    const int y = 120 + 50 * r;
    const QString number = QString::number(r + 1);
    painter.drawLine(px(90), px(y), px(710), px(y));
    painter.drawEllipse(px(83), px(y - 3), px(6), px(6));
    painter.drawEllipse(px(711), px(y - 3), px(6), px(6));
    painter.drawText(QRect(px(40), px(110 + 50 * r), px(36), px(20)),
                     Qt::AlignRight | Qt::AlignVCenter, QLatin1Char('X') + number);
    painter.drawText(QRect(px(724), px(110 + 50 * r), px(40), px(20)),
                     Qt::AlignLeft | Qt::AlignVCenter, QLatin1Char('Y') + number);
    for (int k = 0; k < 4; ++k) {
        const int dx = 120 * k;
        const QString letter = QString(QLatin1Char(kBusLetters[k]));
        painter.drawLine(px(180 + dx), px(y), px(180 + dx), px(y - 20));
        painter.drawLine(px(180 + dx), px(y - 20), px(240 + dx), px(y - 20));
        painter.setBrush(Qt::black);
        painter.drawEllipse(px(177 + dx), px(y - 3), px(6), px(6));
        painter.drawEllipse(px(237 + dx), px(y - 23), px(6), px(6));
        painter.setBrush(Qt::NoBrush);
        painter.drawText(QRect(px(154 + dx), px(80 + 50 * r), px(40), px(20)),
                         Qt::AlignRight | Qt::AlignBottom, letter + number);
        if (r == nRows - 1) {
            painter.drawText(QRect(px(209 + dx), px(50 * nRows + 110), px(20), px(20)),
                             Qt::AlignRight | Qt::AlignVCenter, letter);
        }
    }
}

void Schematic::paintBusLines(QPainter &painter)
{
    for (int x : {240, 360, 480, 600}) {
        painter.drawLine(px(x), px(30), px(x), px(50 * nRows + 116));
        painter.setBrush(Qt::white);
        painter.drawEllipse(QPointF(x * scale, 26 * scale), 4 * scale, 4 * scale);
        painter.drawEllipse(QPointF(x * scale, (50 * nRows + 120) * scale), 4 * scale,
                            4 * scale);
        painter.setBrush(Qt::NoBrush);
    }
}
