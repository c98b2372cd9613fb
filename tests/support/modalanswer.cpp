#include "modalanswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QLabel>
#include <QProgressDialog>
#include <QTimer>

namespace {
QString plain(QString text) { return text.remove(QLatin1Char('&')); }
} // namespace

ModalAnswer::ModalAnswer(const QList<Step> &steps, int timeoutMs)
    : m_deadline(QDateTime::currentMSecsSinceEpoch() + timeoutMs)
{
    for (const Step &step : steps) {
        m_buttons << step.button;
        m_prepare << step.prepare;
    }
    schedule(0);
}

ModalAnswer::ModalAnswer(const QStringList &buttons, int timeoutMs)
    : m_buttons(buttons), m_prepare(buttons.size()),
      m_deadline(QDateTime::currentMSecsSinceEpoch() + timeoutMs)
{
    schedule(0);
}

ModalAnswer::Step ModalAnswer::typed(const QString &text, const QString &button)
{
    return {button, [text](QWidget *dialog) { dialog->findChild<QComboBox *>()->setEditText(text); }};
}

void ModalAnswer::schedule(int ms) { QTimer::singleShot(ms, this, &ModalAnswer::poll); }

void ModalAnswer::poll()
{
    if (m_reports.size() == m_buttons.size()) {
        return;
    }
    if (QDateTime::currentMSecsSinceEpoch() > m_deadline) {
        m_error = QStringLiteral("no modal box appeared for answer %1").arg(m_reports.size());
        return;
    }
    QWidget *widget = QApplication::activeModalWidget();
    // The box just answered may still be closing; wait until it is gone.
    const bool stillClosing = widget && widget == m_lastAnswered && widget->isVisible();
    // A progress dialog is no question: the next box comes after it.
    const bool progress = qobject_cast<QProgressDialog *>(widget) != nullptr;
    if (!widget || !widget->isVisible() || stillClosing || progress) {
        if (m_lastAnswered && !m_lastAnswered->isVisible()) {
            m_lastAnswered = nullptr;
        }
        schedule(5);
        return;
    }
    answer(widget);
    schedule(5);
}

void ModalAnswer::answer(QWidget *widget)
{
    BoxReport report;
    report.title = widget->windowTitle();
    report.className = QString::fromLatin1(widget->metaObject()->className());
    QList<QAbstractButton *> buttons = widget->findChildren<QAbstractButton *>();
    if (auto *box = qobject_cast<QMessageBox *>(widget)) {
        report.text = box->text();
        report.icon = box->icon();
        buttons = box->buttons();
    }
    for (QAbstractButton *button : buttons) {
        if (!button->text().isEmpty()) {
            report.buttons << plain(button->text());
        }
    }
    const QString wanted = m_buttons.at(m_reports.size());
    if (const auto &prepare = m_prepare.at(m_reports.size())) {
        prepare(widget);
    }
    m_reports << report;
    m_lastAnswered = widget;

    if (report.title.endsWith(QLatin1String("SFP Error message")) && wanted == QLatin1String("Yes")) {
        m_error = QStringLiteral("refused to answer Yes to an error box (it would exit)");
    } else {
        for (QAbstractButton *button : buttons) {
            if (plain(button->text()) == wanted && button->isVisible()) {
                // Clicked from the event loop, not from here, so that a box
                // the click opens in turn is answered too.
                m_clickPending = true;
                QTimer::singleShot(0, button, [self = QPointer<ModalAnswer>(this), button] {
                    if (self) {
                        self->m_clickPending = false;
                    }
                    button->click();
                });
                return;
            }
        }
        m_error = QStringLiteral("no button '%1' in '%2'").arg(wanted, report.title);
    }
    // Never leave a test hanging in a modal loop.
    if (auto *box = qobject_cast<QMessageBox *>(widget)) {
        if (QAbstractButton *no = box->button(QMessageBox::No)) {
            no->click();
            return;
        }
    }
    if (auto *dialog = qobject_cast<QDialog *>(widget)) {
        dialog->reject();
    } else {
        widget->close();
    }
}
