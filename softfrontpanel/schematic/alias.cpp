#include "alias.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QSignalBlocker>

namespace {
// Characters that would break the instrument's "name=text" alias lines and
// their comma-separated list form.
const QRegularExpression &acceptedAlias()
{
    static const QRegularExpression re(QStringLiteral("\\A[^'\",`=]+\\z"));
    return re;
}
} // namespace

Alias::Alias(QWidget *parent, int row, int col, double scale, int nRows)
    : QWidget(parent), row(row), col(col), scale(scale), label(new myLabel(this)), m_nRows(nRows)
{
    label->setWordWrap(true);
    if (col == 0) {
        label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    } else if (col == 5) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    } else {
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    // Set directly rather than by style sheet: hundreds of aliases must not
    // each carry a sheet to be parsed and polished.
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, QColor(0x55, 0x55, 0x55));
    pal.setColor(QPalette::Text, QColor(0x55, 0x55, 0x55));
    label->setPalette(pal);

    setCursor(Qt::IBeamCursor);
    setMouseTracking(true);
    setGeometry(0, 0, int(83 * scale), int(30 * scale));
    setScale(scale);
    setShownText(QString());
}

void Alias::setShownText(const QString &txt)
{
    label->setText(txt);
    const QString line = col == 0   ? QStringLiteral("X%1").arg(row + 1)
                         : col == 5 ? QStringLiteral("Y%1").arg(row + 1)
                                    : QString(QLatin1Char(char('A' + col - 1)));
    setAccessibleName(txt.isEmpty() ? line : line + QStringLiteral(": ") + txt);
}

Alias::~Alias()
{
    // Closing the window during destruction takes the focus from an open
    // editor, which would report editingFinished to this half-destroyed
    // widget.
    if (m_editor) {
        m_editor->blockSignals(true);
    }
}

void Alias::setScale(double s)
{
    scale = s;
    resize(int(83 * s), int(30 * s));
    label->setGeometry(rect());
    QFont font = label->font();
    font.setFamily(QStringLiteral("Arial"));
    font.setPixelSize(int(11 * s));
    label->setFont(font);
    if (m_editor) {
        placeEditor();
    }
}

void Alias::placeEditor()
{
    const int h = m_editor->sizeHint().height();
    m_editor->setGeometry(0, (height() - h) / 2, width(), h);
}

QLineEdit *Alias::editor()
{
    if (!m_editor) {
        m_editor = new QLineEdit(this);
        m_editor->setMaxLength(31);
        m_editor->hide();
        placeEditor();
        connect(m_editor, &QLineEdit::editingFinished, this, &Alias::exitEditMode);
        connect(m_editor, &QLineEdit::textChanged, this, &Alias::validateText);
    }
    return m_editor;
}

QMenu *Alias::contextMenu()
{
    if (m_menu) {
        return m_menu;
    }
    m_menu = new QMenu(this);
    connect(m_menu->addAction(QStringLiteral("Edit Alias")), &QAction::triggered, this,
            &Alias::enterEditModeAndNotify);
    m_menu->addSeparator();
    QString group;
    if (col == 0) {
        group = QStringLiteral("Clear X1-%1").arg(m_nRows);
    } else if (col == 5) {
        group = QStringLiteral("Clear Y1-%1").arg(m_nRows);
    } else {
        group = QStringLiteral("Clear A, B, C, D");
    }
    connect(m_menu->addAction(group), &QAction::triggered, this, &Alias::clearAll);
    m_clearAllAction = m_menu->addAction(QStringLiteral("Clear All"));
    connect(m_clearAllAction, &QAction::triggered, this, &Alias::clearAll);
    return m_menu;
}

QString Alias::text() const { return label->text(); }

bool Alias::isEditing() const { return m_editor && !m_editor->isHidden(); }

void Alias::setText(const QString &txt)
{
    if (m_editor) {
        const QSignalBlocker blocker(m_editor);
        exitEditMode();
    }
    setShownText(txt);
}

void Alias::clearAll() { emit clearAllRequested(sender() == m_clearAllAction ? -1 : col); }

void Alias::enterEditModeAndNotify()
{
    QLineEdit *edit = editor();
    setUpdatesEnabled(false);
    {
        const QSignalBlocker blocker(edit);
        edit->setText(label->text());
        lastValidText = label->text();
        label->hide();
        edit->show();
        edit->setFocus();
    }
    setUpdatesEnabled(true);
    emit startEditing(row, col);
}

void Alias::exitEditMode()
{
    if (!isEditing()) {
        return;
    }
    const QString oldText = label->text();
    const QString newText = m_editor->text();
    setUpdatesEnabled(false);
    setShownText(newText);
    label->show();
    {
        // Hiding the focused editor makes it report editingFinished again.
        const QSignalBlocker blocker(m_editor);
        m_editor->hide();
    }
    setUpdatesEnabled(true);
    if (newText != oldText) {
        emit edited(row, col, newText);
    }
}

void Alias::validateText(QString)
{
    // The editor's current text, not the argument: a refused character puts
    // the last accepted text back, which arrives here again.
    const QString current = m_editor->text();
    if (current.isEmpty() || acceptedAlias().match(current).hasMatch()) {
        lastValidText = current;
    } else {
        m_editor->setText(lastValidText);
    }
}

void Alias::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        contextMenu()->popup(event->globalPosition().toPoint());
    } else {
        enterEditModeAndNotify();
    }
    event->accept();
}

void Alias::keyPressEvent(QKeyEvent *event)
{
    // Escape keeps what was typed, like Return.
    if (event->key() == Qt::Key_Escape) {
        exitEditMode();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
