// Loaded into the installed program with LD_PRELOAD: answers its start-up
// dialogues for demo mode (first subtype), prints what the main window
// shows, and ends the program. It knows the program only by what a user
// sees: button texts, window titles, widget classes by name.
#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

bool clickButton(QWidget *dialog, const QString &text)
{
    for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>()) {
        if (button->text().remove(QLatin1Char('&')) == text && button->isVisible()) {
            QTimer::singleShot(0, button, &QAbstractButton::click);
            return true;
        }
    }
    return false;
}

// Start-up: demo mode, first subtype; then what the window shows, and the end.
void step()
{
    if (QWidget *modal = QApplication::activeModalWidget()) {
        if (!clickButton(modal, "Run In Demo Mode") && !clickButton(modal, "Ok")) {
            std::printf("unexpected box: %s\n", qPrintable(modal->windowTitle()));
            std::exit(3);
        }
        return;
    }
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->inherits("ts4820fp_App") || !window->isVisible()) {
            continue;
        }
        int relays = 0;
        for (QWidget *child : window->findChildren<QWidget *>()) {
            relays += child->inherits("RelayButton") ? 1 : 0;
        }
        std::printf("window: %s\nrelay buttons: %d\n", qPrintable(window->windowTitle()), relays);
        std::fflush(stdout);
        std::_Exit(0); // what the window shows is all the test wants
    }
}

void startProbe()
{
    auto *timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, step);
    timer->start(50);
    // A program that never gets there must not hang the test.
    QTimer::singleShot(60000, [] {
        std::printf("no demo window within a minute\n");
        std::exit(4);
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
