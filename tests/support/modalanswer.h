#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

// What a modal box or dialog showed the user when it was answered.
struct BoxReport
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons; // button texts without '&', in layout order
    QString className;
};

// Answers the next modal widgets, one after another, by clicking the button
// with the given text ('&' ignored) from a zero-delay timer. Create it before
// the call that opens the box. Refuses to answer "Yes" to an error box,
// because that answer ends the process.
class ModalAnswer : public QObject
{
    Q_OBJECT
public:
    // One answer: optionally act on the widget first (type a text, pick an
    // item), then click the button.
    struct Step
    {
        QString button;
        std::function<void(QWidget *)> prepare;
    };
    // Types `text` into the dialog's combo box, then clicks `button`.
    static Step typed(const QString &text, const QString &button);
    explicit ModalAnswer(const QList<Step> &steps, int timeoutMs = 10000);
    explicit ModalAnswer(const QStringList &buttons, int timeoutMs = 10000);
    explicit ModalAnswer(const QString &button, int timeoutMs = 10000)
        : ModalAnswer(QStringList{button}, timeoutMs)
    {}

    int answered() const { return m_reports.size(); }
    // Every answer given and its button clicked.
    bool done() const { return m_reports.size() == m_buttons.size() && !m_clickPending; }
    const QList<BoxReport> &reports() const { return m_reports; }
    BoxReport report(int i = 0) const { return m_reports.value(i); }
    QString error() const { return m_error; }

private:
    void poll();
    void answer(QWidget *widget);
    void schedule(int ms);

    QStringList m_buttons;
    QList<std::function<void(QWidget *)>> m_prepare;
    QList<BoxReport> m_reports;
    QPointer<QWidget> m_lastAnswered;
    QString m_error;
    qint64 m_deadline = 0;
    bool m_clickPending = false;
};
