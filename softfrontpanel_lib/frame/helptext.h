#pragma once

#include <QString>

class QWidget;

// Every control explains itself twice: the text as What's This, and the
// same text as a rich-text tool tip ("<html>" + text + "</html>").
void setHelpText(QWidget *widget, const QString &text);
