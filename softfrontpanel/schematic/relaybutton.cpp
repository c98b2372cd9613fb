#include "relaybutton.h"

#include <QAction>
#include <QEnterEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

namespace {
const char kLineLetters[] = "XABCDY";
} // namespace

RelayButton::RelayButton(QWidget *parent, int row, int col, double scale, int nRows)
    : QPushButton(parent), row(row), col(col), scale(scale), m_nRows(nRows)
{
    setCheckable(true);
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    const int side = int(23 * scale + 6);
    setGeometry(0, 0, side, side);
    // What a screen reader says: the relay as an operator names it; the
    // checked state tells closed or open.
    setAccessibleName(name());
    connect(this, &QPushButton::clicked, this, &RelayButton::_clicked);
}

QString RelayButton::name() const
{
    return row < 0 ? QStringLiteral("VR") + QLatin1Char(char('A' + col))
                   : QLatin1Char(kLineLetters[col]) + QString::number(row + 1);
}

void RelayButton::setScale(double s)
{
    const bool changed = s != scale;
    scale = s;
    const int side = int(23 * s + 6);
    resize(side, side);
    if (changed) {
        update(); // the contact size follows the scale even at an equal pixel size
    }
}

void RelayButton::setApplied(bool value)
{
    if (value == applied) {
        return;
    }
    applied = value;
    update();
}

void RelayButton::setMarked(bool value)
{
    if (value == marked) {
        return;
    }
    marked = value;
    update();
}

void RelayButton::_clicked() { emit relayToggled(row, col, isChecked() ? 1 : 0); }

QAction *RelayButton::addEntry(const QString &text)
{
    QAction *action = m_menu->addAction(text);
    connect(action, &QAction::triggered, this, &RelayButton::openClose);
    return action;
}

void RelayButton::buildMenu()
{
    m_menu = new QMenu(this);
    if (row < 0) {
        m_closeOne = addEntry(QStringLiteral("Close ") + name());
        m_openOne = addEntry(QStringLiteral("Open ") + name());
        return;
    }

    const QChar letter = QLatin1Char(kLineLetters[col]);
    const int n = row + 1;
    const QString allRows = QStringLiteral("1-%1").arg(m_nRows);
    const bool isBus = col >= 1 && col <= 4;

    m_closeOne = addEntry(QStringLiteral("Close ") + name());
    m_openOne = addEntry(QStringLiteral("Open ") + name());
    m_menu->addSeparator();
    if (!isBus) {
        m_closeColumn = addEntry(QStringLiteral("Close %1%2").arg(letter).arg(allRows));
    }
    m_openColumn = addEntry(QStringLiteral("Open %1%2").arg(letter).arg(allRows));
    m_menu->addSeparator();
    m_closeRow = addEntry(QStringLiteral("Close X%1 && Y%2").arg(n).arg(n));
    m_openRow = addEntry(QStringLiteral("Open X%1 && Y%2").arg(n).arg(n));
    m_menu->addSeparator();
    m_openAll = addEntry(QStringLiteral("Open All Relays"));
    if (isBus) {
        m_openBuses = addEntry(QStringLiteral("Open ABCD1-%1").arg(m_nRows));
    }
    m_menu->addSeparator();
    QAction *custom = m_menu->addAction(QStringLiteral("Custom Pattern ..."));
    connect(custom, &QAction::triggered, this, &RelayButton::customClicked);
}

QMenu *RelayButton::contextMenu()
{
    if (!m_menu) {
        buildMenu();
    }
    // Offer only the single-relay entry that would change something.
    m_closeOne->setVisible(!isChecked());
    m_openOne->setVisible(isChecked());
    return m_menu;
}

void RelayButton::switchTo(bool close)
{
    if (isChecked() == close) {
        return;
    }
    // Same path as a click, so the model records the change and Apply
    // writes it.
    setChecked(close);
    _clicked();
}

void RelayButton::openClose()
{
    const QObject *action = sender();
    if (action == m_closeOne) {
        switchTo(true);
    } else if (action == m_openOne) {
        switchTo(false);
    } else if (action == m_closeColumn) {
        emit openCloseClicked(-1, col, true);
    } else if (action == m_openColumn) {
        emit openCloseClicked(-1, col, false);
    } else if (action == m_closeRow) {
        emit openCloseClicked(row, -1, true);
    } else if (action == m_openRow) {
        emit openCloseClicked(row, -1, false);
    } else if (action == m_openAll) {
        emit openCloseClicked(-1, -1, false);
    } else if (action == m_openBuses) {
        emit openCloseClicked(-1, -2, false);
    }
}

void RelayButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        // popup(), not exec(): the event loop keeps running while it is open.
        contextMenu()->popup(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QPushButton::mouseReleaseEvent(event);
}

void RelayButton::enterEvent(QEnterEvent *event)
{
    hovered = true;
    repaint();
    QPushButton::enterEvent(event);
}

void RelayButton::leaveEvent(QEvent *event)
{
    hovered = false;
    repaint();
    QPushButton::leaveEvent(event);
}

void RelayButton::paintEvent(QPaintEvent *)
{
    const int n = int(23 * scale - 2);
    const bool closed = isChecked();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    painter.fillRect(4, 4, n, n, closed ? QColor(100, 230, 100) : QColor(250, 250, 250));

    // A pending change gets a yellow frame, and the leads are drawn through
    // it so the relay still reads as part of its line.
    int e = 0;
    if (closed != applied) {
        painter.setPen(QPen(QColor(255, 255, 0), 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(2, 2, n + 4, n + 4);
        e = 4;
    }

    painter.setPen(QPen(Qt::black));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(4, 4, n, n);

    const int m = n / 2 + 4;
    const int left = n / 5 + 4;
    const int right = 4 * n / 5 + 4;
    if (closed) {
        painter.drawLine(4 - e, m, n + 4 + e, m);
    } else {
        painter.drawLine(4 - e, m, left, m);
        painter.drawLine(right, m, n + 4 + e, m);
        painter.drawLine(left, m, int(n * 3.75 / 5 + 3 + 1), int(n * 1.25 / 5 + 3 + 1));
    }

    const qreal radius = 1.5 * scale;
    painter.setBrush(Qt::black);
    painter.drawEllipse(QPointF(left, m), radius, radius);
    painter.drawEllipse(QPointF(right, m), radius, radius);

    if (marked || hovered) {
        const QColor colour = marked && hovered ? QColor(230, 0, 230)
                              : marked          ? QColor(230, 0, 0)
                                                : QColor(0, 0, 230);
        painter.setPen(QPen(colour, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(4, 4, n, n);
    }
}
