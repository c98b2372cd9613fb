#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;

// A modal window showing one licence text, compiled in as a resource, in a
// fixed-pitch font so that the text keeps its original layout.
class licenceViewer : public QDialog
{
    Q_OBJECT
public:
    licenceViewer(const QString &title, const QString &resourcePath, QWidget *parent = nullptr);

    QPlainTextEdit *textArea() const { return m_text; }

private:
    QPlainTextEdit *m_text = nullptr;
};
