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

QWidget *mainWindow()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->inherits("ts4820fp_App") && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

bool reported = false;

// Start-up: demo mode, first subtype; then, as the operator leaves: close
// the window and say Yes to "Do you really want to exit?".
void step()
{
    if (QWidget *modal = QApplication::activeModalWidget()) {
        const QStringList answers = reported ? QStringList{"Yes"} : QStringList{"Run In Demo Mode", "Ok"};
        for (const QString &answer : answers) {
            if (clickButton(modal, answer)) {
                return;
            }
        }
        std::printf("unexpected box: %s\n", qPrintable(modal->windowTitle()));
        std::exit(3);
    }
    QWidget *window = mainWindow();
    if (!window) {
        if (reported) {
            // Closed before the program's event loop ran, the last window
            // does not end it; this does, once the loop runs.
            QApplication::quit();
        }
        return;
    }
    if (reported) {
        // From the event loop: the question it asks is answered by step().
        QTimer::singleShot(0, window, &QWidget::close);
        return;
    }
    int relays = 0;
    for (QWidget *child : window->findChildren<QWidget *>()) {
        relays += child->inherits("RelayButton") ? 1 : 0;
    }
    std::printf("window: %s\nrelay buttons: %d\n", qPrintable(window->windowTitle()), relays);
    std::fflush(stdout);
    reported = true;
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
