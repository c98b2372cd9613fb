#pragma once

#include <QLabel>

// The text of an alias. While the mouse is over it the name gives way to a
// grey box with the hint "Click to edit".
class myLabel : public QLabel
{
    Q_OBJECT
public:
    explicit myLabel(QWidget *parent = nullptr);

    bool hovered = false;

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
