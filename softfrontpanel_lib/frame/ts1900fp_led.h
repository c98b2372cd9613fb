#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

// A round lamp followed by a caption. State 0 is off, 1 on; state 2 uses the
// third colour once one has been set.
class ts1900fp_led : public QWidget
{
    Q_OBJECT
public:
    // An off colour of Qt::magenta stands for "the window background".
    ts1900fp_led(const QString &caption, const QColor &onColour, const QColor &offColour,
                 QWidget *parent = nullptr);

    int state() const { return m_state; }
    void setState(int state);
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    void setOnColour(const QColor &colour);
    void setOffColour(const QColor &colour);
    void setThirdColour(const QColor &colour);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override { return minimumSizeHint(); }

signals:
    void valueToggled();

public slots:
    void toggleValue();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor fillColour() const;
    void paintLamp(QPainter &painter, int x0, int h) const;

    qint32 m_state = 0;
    QColor m_onColour;
    QColor m_offColour;
    QColor m_thirdColour = Qt::black;
    QString m_caption;
    bool m_hasThirdColour = false;
};
