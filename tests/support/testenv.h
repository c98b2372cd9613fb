#pragma once

#include <QApplication>
#include <QPushButton>
#include <QString>
#include <QtTest>

namespace testenv {
// Points every place the program reads or writes user files (settings store,
// descriptor history, home and temporary folders) into a fresh temporary
// folder, and selects the offscreen platform unless another one is set.
// Call before the application object exists.
void isolate();
// The temporary root chosen by isolate().
QString root();
} // namespace testenv

// Captures what the code under test writes to standard output (the
// program's diagnostic lines) between construction and text().
class StdoutCapture
{
public:
    StdoutCapture();
    ~StdoutCapture();
    QString text();

private:
    void restore();
    int m_savedFd = -1;
    QString m_path;
    QString m_text;
};

// The button of `parent` with this text; a missing one ends the test run.
QPushButton *buttonNamed(const QWidget *parent, const QString &text);

// Renames a line as the operator does: click its name, type, Return.
template <typename LineName>
void renameLine(LineName *alias, const QString &name)
{
    QTest::mouseClick(alias, Qt::LeftButton);
    alias->editor()->setText(name);
    QTest::keyClick(alias->editor(), Qt::Key_Return);
}

#define TS_TEST_MAIN(TestObject)                                                                             \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        testenv::isolate();                                                                                  \
        QApplication app(argc, argv);                                                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        TestObject tc;                                                                                       \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }
