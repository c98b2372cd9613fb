#pragma once

#include <QLabel>
#include <QString>

// A label drawn like a web link that reports clicks; used where a few words
// should open a box or a page without looking like a button.
class clickableLabel : public QLabel
{
    Q_OBJECT
public:
    explicit clickableLabel(const QString &text, QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
