// The About panel as the operator meets it: its texts, the licence rows and
// their viewers, the web link, and paging through the modules' hardware pages.
#include <QDesktopServices>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
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

// The words of a group's labels in reading order, rich text as plain.
QStringList groupTexts(QWidget *about, const QString &title)
{
    QStringList texts;
    for (QGroupBox *group : about->findChildren<QGroupBox *>()) {
        for (QLabel *label : group->findChildren<QLabel *>()) {
            if (group->title() == title) {
                const QString text = label->text();
                texts << (Qt::mightBeRichText(text) ? QTextDocumentFragment::fromHtml(text).toPlainText()
                                                    : text);
            }
        }
    }
    return texts;
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
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(file.readAll()) : QString();
}

// The driver, panel, model, revision and serial number texts shown.
QStringList hardwarePage(const ts1900fp_About &about)
{
    return {about.driverRevisionLabel()->text(), about.panelRevisionLabel()->text(),
            about.modelLabel()->text(), about.revisionLabel()->text(), about.serialNumberLabel()->text()};
}

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
    void panelTextsAndOptionalRows_data()
    {
        QTest::addColumn<QByteArray>("common");
        QTest::addColumn<QByteArray>("qwt");
        QTest::addColumn<bool>("kiss");
        QTest::addColumn<QStringList>("licences");
        QTest::addColumn<QStringList>("software");
        const QStringList qt{"Qt", QStringLiteral(" libraries version %1:").arg(qVersion()), "LGPL v3"};
        const QString learnMore = QStringLiteral("Learn more about licenses");
        const QStringList software{"Instrument Driver:", "2.0.0", "Soft Front Panel:", "1.5.0"};
        QTest::newRow("as the product passes them")
            << QByteArray() << QByteArray() << false << qt + QStringList{learnMore} << software;
        QTest::newRow("all rows") << QByteArray("3.2.1") << QByteArray("6.1.2") << true
                                  << qt
                                         + QStringList{"Qwt library version 6.1.2:", "LGPL v2.1",
                                                       "KISS FFT library:", "BSD", learnMore}
                                  << QStringList{"Xentra Common Library:", "3.2.1"} + software;
        QTest::newRow("KISS FFT only") << QByteArray() << QByteArray() << true
                                       << qt + QStringList{"KISS FFT library:", "BSD", learnMore} << software;
    }
    void panelTextsAndOptionalRows()
    {
        QFETCH(QByteArray, common);
        QFETCH(QByteArray, qwt);
        QFETCH(bool, kiss);
        ts1900fp_About about("1.5.0", "2.0.0", "4820", copyright, nullptr,
                             common.isNull() ? nullptr : common.constData(),
                             qwt.isNull() ? nullptr : qwt.constData(), kiss);
        QCOMPARE(about.windowTitle(), QStringLiteral("About Xentra 4820 Soft Front Panel"));
        QStringList texts;
        int logos = 0;
        for (QLabel *label : about.findChildren<QLabel *>()) {
            texts << label->text();
            logos += label->styleSheet() == "QLabel {background-color:#1A2C5E}" && !label->pixmap().isNull();
        }
        QVERIFY(texts.contains("<font size='5' bold>Xentra 4820 VXIplug&play Driver<br>"
                               "Soft Front Panel Application</font>"));
        QVERIFY(texts.contains(copyright));
        QCOMPARE(logos, 1);
        QTEST(groupTexts(&about, "Third-Party Licenses"), "licences");
        QTEST(groupTexts(&about, "Software Revisions"), "software");
        QCOMPARE(groupTexts(&about, "Hardware Information"), QStringList());
        const QStringList buttons{about.previousButton()->text(), about.nextButton()->text(),
                                  about.okButton()->text()};
        QCOMPARE(buttons, (QStringList{"< Previous", "Next >", "OK"}));
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QVERIFY(about.previousButton()->isHidden() && about.nextButton()->isHidden());
    }

    // The licence follows the toolkit found at run time: the links test sees
    // the running one's, here is a version-4 run time's.
    void qtLicenceFollowsRuntimeVersion()
    {
        QCOMPARE(qtLicense::linkTextFor("4.8.7"), QStringLiteral("LGPL v2.1"));
        QCOMPARE(qtLicense::resourceFor("4.8.7"), QStringLiteral(":/qt-lgpl-license.txt"));
        QVERIFY(resourceText(":/qt-lgpl-license.txt").contains("Version 2.1, February 1999"));
    }

    void linksOpenTheirBoxesModally_data()
    {
        QTest::addColumn<QString>("linkText");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("resource");
        QTest::addColumn<QString>("line");
        QTest::newRow("Qt: About Qt box") << "Qt"
                                          << "OK"
                                          << "QMessageBox"
                                          << "About Qt"
                                          << ""
                                          << "";
        QTest::newRow("Qt licence") << "LGPL v3"
                                    << "Ok"
                                    << "qtLicense"
                                    << "Qt LGPL License"
                                    << ":/qt5-lgpl-license.txt"
                                    << "GNU LESSER GENERAL PUBLIC LICENSE";
        QTest::newRow("Qwt licence") << "LGPL v2.1"
                                     << "Ok"
                                     << "qwtLicense"
                                     << "Qwt LGPL License"
                                     << ":/qwt-lgpl-license.txt"
                                     << "Qwt License";
        QTest::newRow("KISS FFT licence") << "BSD"
                                          << "Ok"
                                          << "kissFFTLicense"
                                          << "KISS FFT BSD License"
                                          << ":/kiss-fft-bsd-license.txt"
                                          << "Redistribution and use in source and binary forms";
    }
    void linksOpenTheirBoxesModally()
    {
        QFETCH(QString, linkText);
        QFETCH(QString, answer);
        QFETCH(QString, resource);
        QFETCH(QString, line);
        ts1900fp_About about("1.5.0", "2.0.0", "4820", copyright, nullptr, nullptr, "6.1.2", true);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QVERIFY(link(&about, linkText));

        // What the box looks like while it is open.
        const qreal scale = about.screen()->logicalDotsPerInchX() / 96.0;
        ModalAnswer box(QList<ModalAnswer::Step>{
            {answer, [&](QWidget *shown) {
                 QCOMPARE(shown->parentWidget(), &about);
                 const auto *area = shown->findChild<QPlainTextEdit *>();
                 QCOMPARE(bool(area), !resource.isEmpty());
                 if (area) {
                     QCOMPARE(area->toPlainText(), resourceText(resource)); // the whole text, nothing cut
                     QVERIFY2(area->toPlainText().contains(line), qPrintable(line));
                     QVERIFY(area->isReadOnly() && area->lineWrapMode() == QPlainTextEdit::NoWrap);
                     QCOMPARE(area->font().family(), QStringLiteral("Courier"));
                     QVERIFY(area->minimumWidth() >= qRound(650 * scale));
                     QVERIFY(area->minimumHeight() >= qRound(500 * scale));
                 }
             }}});
        QTest::mouseClick(link(&about, linkText), Qt::LeftButton);
        QVERIFY2(box.done(), qPrintable(box.error()));
        QTEST(box.report().className, "className");
        QTEST(box.report().title, "title");
        QCOMPARE(box.report().buttons, QStringList{answer});
        QVERIFY(about.findChildren<licenceViewer *>().isEmpty()); // destroyed once closed
    }

    // Links answer every mouse button, on release.
    void learnMoreOpensLicenceUsagePage()
    {
        ts1900fp_About about("1.5.0", "2.0.0", "4820", copyright, nullptr);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        clickableLabel *learnMore = link(&about, "Learn more about licenses");
        QTest::mousePress(learnMore, Qt::LeftButton);
        QCOMPARE(catcher.urls.size(), 0);
        QTest::mouseRelease(learnMore, Qt::LeftButton);
        QTest::mouseClick(learnMore, Qt::RightButton);
        QTest::mouseClick(learnMore, Qt::MiddleButton);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(catcher.urls.size(), 3);
        QCOMPARE(catcher.urls.first().scheme(), QStringLiteral("https"));
        QVERIFY(!catcher.urls.first().host().isEmpty());
        QCOMPARE(catcher.urls.first().path(), QStringLiteral("/about/third-party-license-usage/"));
    }

    // The first page's revisions replace the labels' texts, empty ones keep
    // them; later pages' empty revisions store what the labels show then.
    void hardwarePagesPageForthAndBackAndOkKeepsPage_data()
    {
        QTest::addColumn<QString>("driver"); // of the first page
        QTest::addColumn<QString>("panel");
        QTest::newRow("driver revision given") << "2.1.0"
                                               << "";
        QTest::newRow("panel revision given") << ""
                                              << "1.5.1";
    }
    void hardwarePagesPageForthAndBackAndOkKeepsPage()
    {
        QFETCH(QString, driver);
        QFETCH(QString, panel);
        ts1900fp_About about("1.5.0", "2.0.0", "4820", copyright, nullptr);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        about.addHardwareInfo("0000a001", "1.0 (Product: A)", "4820-AA", driver, panel);
        driver = driver.isEmpty() ? "2.0.0" : driver;
        panel = panel.isEmpty() ? "1.5.0" : panel;
        QCOMPARE(groupTexts(&about, "Hardware Information"),
                 (QStringList{"Device Model:", "4820-AA", "Revision:", "1.0 (Product: A)",
                              "Serial Number:", "0000a001"}));
        QCOMPARE(groupTexts(&about, "Software Revisions"),
                 (QStringList{"Instrument Driver:", driver, "Soft Front Panel:", panel}));
        QVERIFY(about.previousButton()->isHidden() && about.nextButton()->isHidden());
        about.addHardwareInfo("0000b002", "1.1 (Product: B)", "4820-AB", "2.2.0");
        QVERIFY(about.previousButton()->isVisible() && about.nextButton()->isVisible());
        about.addHardwareInfo("0000c003", "1.2 (Product: C)", "4820-BA", QString(), "1.6.0");

        QPushButton *next = about.nextButton(), *previous = about.previousButton();
        const QStringList page0{driver, panel, "4820-AA", "1.0 (Product: A)", "0000a001"};
        const QStringList page1{"2.2.0", panel, "4820-AB", "1.1 (Product: B)", "0000b002"};
        const QStringList page2{driver, "1.6.0", "4820-BA", "1.2 (Product: C)", "0000c003"};
        const struct
        {
            QPushButton *press;
            int page;
            bool previousEnabled, nextEnabled;
            QStringList shown;
        } steps[] = {
            {nullptr, 0, false, true, page0},
            {next, 1, true, true, page1},
            {next, 2, true, false, page2},
            {previous, 1, true, true, page1},
            {previous, 0, false, true, page0},
            {next, 1, true, true, page1},
            {about.okButton(), 1, true, true, page1}, // OK only hides
        };
        for (const auto &step : steps) {
            if (step.press) {
                step.press->click();
            }
            QCOMPARE(about.pageIndex(), step.page);
            QCOMPARE(previous->isEnabled(), step.previousEnabled);
            QCOMPARE(next->isEnabled(), step.nextEnabled);
            QCOMPARE(hardwarePage(about), step.shown);
        }
        QVERIFY(about.isHidden());
        about.show();
        QCOMPARE(hardwarePage(about), page1);
    }
};

TS_TEST_MAIN(TestAbout)
#include "test_about.moc"