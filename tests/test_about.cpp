// The About panel as the operator meets it: its texts, the licence rows and
// their viewers, the web link, and paging through the modules' hardware pages.
#include <QDesktopServices>
#include <QFile>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTextDocumentFragment>
#include <QUrl>

#include "clickablelabel.h"
#include "licenceviewer.h"
#include "modalanswer.h"
#include "qtlicense.h"
#include "testenv.h"
#include "ts1900fp_about.h"

namespace {

const char copyright[] = "Copyright (C) 2024 Tarsel Ltd.";

// The words a label shows, read the way the label itself decides on rich text.
QString shownText(QLayoutItem *item)
{
    QString text;
    if (auto *label = item ? qobject_cast<QLabel *>(item->widget()) : nullptr) {
        text = label->text();
        const bool rich = label->textFormat() == Qt::RichText ||
                          (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
        return rich ? QTextDocumentFragment::fromHtml(text).toPlainText() : text;
    }
    for (int i = 0; item && item->layout() && i < item->layout()->count(); ++i) {
        text += shownText(item->layout()->itemAt(i)); // a caption built of several labels
    }
    return text;
}

// The rows of a group as the user reads them, cells joined by " | ".
QStringList rowsOf(QWidget *about, const QString &groupTitle)
{
    QStringList rows;
    for (QGroupBox *group : about->findChildren<QGroupBox *>()) {
        auto *form = qobject_cast<QFormLayout *>(group->layout());
        auto *grid = qobject_cast<QGridLayout *>(group->layout());
        for (int r = 0; group->title() == groupTitle && form && r < form->rowCount(); ++r) {
            rows << shownText(form->itemAt(r, QFormLayout::LabelRole)) + " " +
                        shownText(form->itemAt(r, QFormLayout::FieldRole));
        }
        for (int r = 0; group->title() == groupTitle && grid && r < grid->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < grid->columnCount(); ++c) {
                const QString text = shownText(grid->itemAtPosition(r, c));
                if (!text.isEmpty() && !cells.contains(text)) { // spanning cells repeat
                    cells << text;
                }
            }
            if (!cells.isEmpty()) {
                rows << cells.join(" | ");
            }
        }
    }
    return rows;
}

clickableLabel *link(QWidget *root, const QString &text)
{
    for (clickableLabel *label : root->findChildren<clickableLabel *>()) {
        if (label->text() == "<u><font color='#22e'>" + text + "</font></u>") {
            return label;
        }
    }
    return nullptr;
}

QString resourceText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(file.readAll())
                                                            : QString();
}

// Records what each dialog looked like at the moment it was shown.
class DialogWatcher : public QObject
{
public:
    struct Seen {
        QWidget *parent;
        QString text, family;
        bool readOnly, wraps;
        QSize minimumSize;
    };
    QList<Seen> shown;
    DialogWatcher() { qApp->installEventFilter(this); }
    ~DialogWatcher() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject *object, QEvent *event) override
    {
        auto *dialog = qobject_cast<QDialog *>(object);
        if (event->type() == QEvent::Show && dialog) {
            QPlainTextEdit *area = dialog->findChild<QPlainTextEdit *>();
            shown << (area ? Seen{dialog->parentWidget(), area->toPlainText(),
                                  area->font().family(), area->isReadOnly(),
                                  area->lineWrapMode() != QPlainTextEdit::NoWrap,
                                  area->minimumSize()}
                           : Seen{dialog->parentWidget(), {}, {}, false, true, {}});
        }
        return false;
    }
};

} // namespace

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void panelTextsAndOptionalRows_data();
    void panelTextsAndOptionalRows();
    void qtRowFollowsRuntimeVersion_data();
    void qtRowFollowsRuntimeVersion();
    void linksOpenTheirBoxesModally_data();
    void linksOpenTheirBoxesModally();
    void learnMoreOpensLicenceUsagePage();
    void onePageShowsHardwareWithoutPaging_data();
    void onePageShowsHardwareWithoutPaging();
    void threePagesPageForthAndBackAndOkKeepsPage();
    void clickableLabelSignalsOnEveryRelease();
};

void TestAbout::panelTextsAndOptionalRows_data()
{
    QTest::addColumn<QByteArray>("common");
    QTest::addColumn<QByteArray>("qwt");
    QTest::addColumn<bool>("kiss");
    QTest::addColumn<QStringList>("licences");
    QTest::addColumn<QStringList>("software");
    const QString qtRow = QStringLiteral("Qt libraries version %1: | LGPL v3").arg(qVersion());
    const QString learnMore = QStringLiteral("Learn more about licenses");
    const QStringList software{"Instrument Driver: 2.0.0", "Soft Front Panel: 1.5.0"};
    QTest::newRow("as the product passes them")
        << QByteArray() << QByteArray() << false << QStringList{qtRow, learnMore} << software;
    QTest::newRow("all rows") << QByteArray("3.2.1") << QByteArray("6.1.2") << true
                              << QStringList{qtRow, "Qwt library version 6.1.2: | LGPL v2.1",
                                             "KISS FFT library: | BSD", learnMore}
                              << QStringList{"Xentra Common Library: 3.2.1", software[0],
                                             software[1]};
    QTest::newRow("KISS FFT only") << QByteArray() << QByteArray() << true
                                   << QStringList{qtRow, "KISS FFT library: | BSD", learnMore}
                                   << software;
}

void TestAbout::panelTextsAndOptionalRows()
{
    QFETCH(QByteArray, common);
    QFETCH(QByteArray, qwt);
    QFETCH(bool, kiss);
    QFETCH(QStringList, licences);
    QFETCH(QStringList, software);
    ts1900fp_About about("1.5.0", "2.0.0", "4820", copyright, nullptr,
                         common.isNull() ? nullptr : common.constData(),
                         qwt.isNull() ? nullptr : qwt.constData(), kiss);
    QCOMPARE(about.windowTitle(), QStringLiteral("About Xentra 4820 Soft Front Panel"));
    QStringList texts;
    int logos = 0;
    for (QLabel *label : about.findChildren<QLabel *>()) {
        texts << label->text();
        logos += label->styleSheet() == "QLabel {background-color:#1A2C5E}" &&
                 !label->pixmap().isNull();
    }
    QVERIFY(texts.contains("<font size='5' bold>Xentra 4820 VXIplug&play Driver<br>"
                           "Soft Front Panel Application</font>"));
    QVERIFY(texts.contains(copyright));
    QCOMPARE(logos, 1);
    QCOMPARE(rowsOf(&about, "Third-Party Licenses"), licences);
    QCOMPARE(rowsOf(&about, "Software Revisions"), software);
    QCOMPARE(rowsOf(&about, "Hardware Information"), QStringList());
    const QStringList buttons{about.previousButton()->text(), about.nextButton()->text(),
                              about.okButton()->text()};
    QCOMPARE(buttons, (QStringList{"< Previous", "Next >", "OK"}));
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QVERIFY(about.previousButton()->isHidden());
    QVERIFY(about.nextButton()->isHidden());
    QVERIFY(!about.previousButton()->isEnabled());
}

void TestAbout::qtRowFollowsRuntimeVersion_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("linkText");
    QTest::addColumn<QString>("resource");
    QTest::addColumn<QString>("versionLine");
    QTest::newRow("4.8.7") << "4.8.7" << "LGPL v2.1" << ":/qt-lgpl-license.txt"
                           << "Version 2.1, February 1999";
    QTest::newRow("5.15.2") << "5.15.2" << "LGPL v3" << ":/qt5-lgpl-license.txt"
                            << "Version 3, 29 June 2007";
    QTest::newRow("running version") << QString(qVersion()) << "LGPL v3"
                                     << ":/qt5-lgpl-license.txt" << "Version 3, 29 June 2007";
}

void TestAbout::qtRowFollowsRuntimeVersion()
{
    QFETCH(QString, version);
    QFETCH(QString, linkText);
    QFETCH(QString, resource);
    QFETCH(QString, versionLine);
    QCOMPARE(qtLicense::linkTextFor(version), linkText);
    QCOMPARE(qtLicense::resourceFor(version), resource);
    QVERIFY(resourceText(resource).contains(versionLine));
}

void TestAbout::linksOpenTheirBoxesModally_data()
{
    QTest::addColumn<QString>("linkText");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("resource");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("Qt: About Qt box")
        << "Qt" << "OK" << "QMessageBox" << "About Qt" << "" << QStringList();
    QTest::newRow("Qt licence") << "LGPL v3" << "Ok" << "qtLicense" << "Qt LGPL License"
                                << ":/qt5-lgpl-license.txt"
                                << QStringList{"GNU LESSER GENERAL PUBLIC LICENSE",
                                               "Version 3, 29 June 2007"};
    QTest::newRow("Qwt licence") << "LGPL v2.1" << "Ok" << "qwtLicense" << "Qwt LGPL License"
                                 << ":/qwt-lgpl-license.txt"
                                 << QStringList{"Qwt License", "Version 1.0, January 1, 2003"};
    QTest::newRow("KISS FFT licence")
        << "BSD" << "Ok" << "kissFFTLicense" << "KISS FFT BSD License"
        << ":/kiss-fft-bsd-license.txt"
        << QStringList{"Redistribution and use in source and binary forms"};
}

void TestAbout::linksOpenTheirBoxesModally()
{
    QFETCH(QString, linkText);
    QFETCH(QString, answer);
    QFETCH(QString, className);
    QFETCH(QString, title);
    QFETCH(QString, resource);
    QFETCH(QStringList, lines);
    ts1900fp_About about("1.5.0", "2.0.0", "4820", copyright, nullptr, nullptr, "6.1.2", true);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    clickableLabel *label = link(&about, linkText);
    QVERIFY(label);

    DialogWatcher watcher;
    ModalAnswer box(answer);
    QTest::mouseClick(label, Qt::LeftButton);
    QVERIFY2(box.done(), qPrintable(box.error()));
    QCOMPARE(box.report().className, className);
    QCOMPARE(box.report().title, title);
    QCOMPARE(box.report().buttons, QStringList{answer});
    QCOMPARE(watcher.shown.size(), 1);
    const DialogWatcher::Seen seen = watcher.shown.first();
    QCOMPARE(seen.parent, &about);
    if (resource.isEmpty()) {
        return;
    }
    QCOMPARE(seen.text, resourceText(resource)); // the whole text, nothing cut
    for (const QString &line : lines) {
        QVERIFY2(seen.text.contains(line), qPrintable(line));
    }
    QVERIFY(seen.readOnly);
    QVERIFY(!seen.wraps);
    QCOMPARE(seen.family, QStringLiteral("Courier"));
    const qreal scale = about.screen()->logicalDotsPerInchX() / 96.0;
    QVERIFY(seen.minimumSize.width() >= qRound(650 * scale));
    QVERIFY(seen.minimumSize.height() >= qRound(500 * scale));
    QVERIFY(about.findChildren<licenceViewer *>().isEmpty()); // destroyed once closed
}

void TestAbout::learnMoreOpensLicenceUsagePage()
{
    ts1900fp_About about("1.5.0", "2.0.0", "4820", copyright, nullptr);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    QTest::mouseClick(link(&about, "Learn more about licenses"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls.first().scheme(), QStringLiteral("https"));
    QVERIFY(!catcher.urls.first().host().isEmpty());
    QCOMPARE(catcher.urls.first().path(), QStringLiteral("/about/third-party-license-usage/"));
}

void TestAbout::onePageShowsHardwareWithoutPaging_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QStringList>("software");
    QTest::newRow("no revisions keep the labels")
        << "" << "" << QStringList{"Instrument Driver: 2.0.0", "Soft Front Panel: 1.5.0"};
    QTest::newRow("driver revision replaces its label")
        << "2.1.0" << "" << QStringList{"Instrument Driver: 2.1.0", "Soft Front Panel: 1.5.0"};
    QTest::newRow("both revisions replace theirs")
        << "2.1.0" << "1.6.0" << QStringList{"Instrument Driver: 2.1.0", "Soft Front Panel: 1.6.0"};
}

void TestAbout::onePageShowsHardwareWithoutPaging()
{
    QFETCH(QString, driver);
    QFETCH(QString, panel);
    QFETCH(QStringList, software);
    ts1900fp_About about("1.5.0", "2.0.0", "4820", copyright, nullptr);
    about.addHardwareInfo("48209481 (DEMO)", "1.0.0 (Product: 1.0.0) (DEMO)", "4820-AA", driver,
                          panel);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(rowsOf(&about, "Hardware Information"),
             (QStringList{"Device Model: 4820-AA", "Revision: 1.0.0 (Product: 1.0.0) (DEMO)",
                          "Serial Number: 48209481 (DEMO)"}));
    QCOMPARE(rowsOf(&about, "Software Revisions"), software);
    QVERIFY(about.previousButton()->isHidden());
    QVERIFY(about.nextButton()->isHidden());
}

void TestAbout::threePagesPageForthAndBackAndOkKeepsPage()
{
    ts1900fp_About about("1.5.0", "2.0.0", "4820", copyright, nullptr);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    about.addHardwareInfo("0000a001", "1.0 (Product: A)", "4820-AA", "2.1.0");
    QVERIFY(about.nextButton()->isHidden());
    about.addHardwareInfo("0000b002", "1.1 (Product: B)", "4820-AB", "2.2.0");
    QVERIFY(about.previousButton()->isVisible());
    QVERIFY(about.nextButton()->isVisible());
    // Empty revisions store what the labels show now: page 0's driver, the first panel text.
    about.addHardwareInfo("0000c003", "1.2 (Product: C)", "4820-BA", QString(), "1.6.0");

    QPushButton *next = about.nextButton(), *previous = about.previousButton();
    const QStringList page0{"2.1.0", "1.5.0", "4820-AA", "1.0 (Product: A)", "0000a001"};
    const QStringList page1{"2.2.0", "1.5.0", "4820-AB", "1.1 (Product: B)", "0000b002"};
    const QStringList page2{"2.1.0", "1.6.0", "4820-BA", "1.2 (Product: C)", "0000c003"};
    const struct {
        QPushButton *press;
        int page;
        bool previousEnabled, nextEnabled;
        QStringList shown; // driver, panel, model, revision, serial
    } steps[] = {
        {nullptr, 0, false, true, page0}, {next, 1, true, true, page1},
        {next, 2, true, false, page2},    {previous, 1, true, true, page1},
        {previous, 0, false, true, page0}, {next, 1, true, true, page1},
        {about.okButton(), 1, true, true, page1}, // OK only hides
    };
    for (const auto &step : steps) {
        if (step.press) {
            step.press->click();
        }
        QCOMPARE(about.pageIndex(), step.page);
        QCOMPARE(previous->isEnabled(), step.previousEnabled);
        QCOMPARE(next->isEnabled(), step.nextEnabled);
        const QStringList shown{about.driverRevisionLabel()->text(),
                                about.panelRevisionLabel()->text(), about.modelLabel()->text(),
                                about.revisionLabel()->text(), about.serialNumberLabel()->text()};
        QCOMPARE(shown, step.shown);
    }
    QVERIFY(about.isHidden());
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(about.pageIndex(), 1);
    QCOMPARE(about.serialNumberLabel()->text(), QStringLiteral("0000b002"));
}

void TestAbout::clickableLabelSignalsOnEveryRelease()
{
    clickableLabel label("Learn more");
    QCOMPARE(label.text(), QStringLiteral("<u><font color='#22e'>Learn more</font></u>"));
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));
    QSignalSpy clicked(&label, &clickableLabel::clicked);
    int releases = 0;
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        QTest::mousePress(&label, button);
        QCOMPARE(clicked.count(), releases);
        QTest::mouseRelease(&label, button);
        QCOMPARE(clicked.count(), ++releases);
    }
}

TS_TEST_MAIN(TestAbout)
#include "test_about.moc"
