#include "helptext.h"

#include <QWidget>

void setHelpText(QWidget *widget, const QString &text)
{
    widget->setWhatsThis(text);
    // Some texts are already rich text; wrapping them again would nest <html>.
    if (text.startsWith(QLatin1String("<html>"))) {
        widget->setToolTip(text);
    } else {
        widget->setToolTip(QLatin1String("<html>") + text + QLatin1String("</html>"));
    }
}
