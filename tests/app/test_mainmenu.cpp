// The main menu: its menus and actions, the windows it shows, the report
// request, the about box and Exit.

#include "aboutdialog.h"
#include "mainmenu.h"
#include "mainwidget.h"
#include "device.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTranslator>

class TestMainMenu : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void menusAndActions();
    void windowsAreShownAndRaised();
    void windowsNotSetDoNothing();
    void reportsEmitsCreatePdfOncePerChoice();
    void aboutBoxContents();
    void aboutBoxShowsModallyAndCloses();
    void exitClosesEveryWindow();

private:
    QTranslator translator;
    MainMenu* menu = nullptr;
};

void TestMainMenu::initTestCase()
{
    QVERIFY(translator.load("E1_rc_ru", ":/"));
    QApplication::installTranslator(&translator);
}

void TestMainMenu::init() { menu = new MainMenu; }

void TestMainMenu::cleanup()
{
    delete menu;
    menu = nullptr;
}

void TestMainMenu::menusAndActions()
{
    QStringList titles;
    QList<QStringList> items;
    for (QAction* a : menu->actions()) {
        QVERIFY(a->menu());
        titles << a->text();
        QStringList texts;
        for (QAction* item : a->menu()->actions()) {
            QVERIFY(!item->isSeparator());
            QVERIFY(item->shortcut().isEmpty());
            QCOMPARE(item->parent(), menu);
            texts << item->text();
        }
        items << texts;
    }
    QCOMPARE(titles, QStringList({"Действия", "Окна", "Справка"}));
    QCOMPARE(items.at(0), QStringList({"Выход"}));
    QCOMPARE(items.at(1), QStringList({"Таблица", "Гистограммы", "Отчеты"}));
    QCOMPARE(items.at(2), QStringList({"О программе", "О Qt"}));

    QVERIFY(menu->aExit->icon().isNull());
    for (QAction* a : {menu->aTable, menu->aHistograms, menu->aReports, menu->aAbout, menu->aAboutQt})
        QVERIFY2(!a->icon().isNull() && !a->icon().availableSizes().isEmpty(), qPrintable(a->text()));
    QCOMPARE(menu->aTable->icon().availableSizes().first(), QSize(32, 32));
    QCOMPARE(menu->aAboutQt->icon().availableSizes().first(), QSize(256, 256));
}

void TestMainMenu::windowsAreShownAndRaised()
{
    QWidget main;
    QWidget table(nullptr, Qt::Tool);
    QWidget hist(nullptr, Qt::Tool);
    menu->set_table_window(&table);
    menu->set_histograms_window(&hist);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QVERIFY(!table.isVisible() && !hist.isVisible());

    menu->aTable->trigger();
    QVERIFY(table.isVisible());
    QVERIFY(QTest::qWaitForWindowActive(&table));

    menu->aHistograms->trigger();
    QVERIFY(hist.isVisible());
    QVERIFY(QTest::qWaitForWindowActive(&hist));

    // Already visible but behind another window: brought to the front again.
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    menu->aTable->trigger();
    QVERIFY(QTest::qWaitForWindowActive(&table));
    QVERIFY(hist.isVisible());
}

void TestMainMenu::windowsNotSetDoNothing()
{
    menu->aTable->trigger();
    menu->aHistograms->trigger();
    QVERIFY(!menu->tableWindow());
    QVERIFY(!menu->histogramsWindow());
}

void TestMainMenu::reportsEmitsCreatePdfOncePerChoice()
{
    QSignalSpy spy(menu, &MainMenu::create_pdf);
    menu->aReports->trigger();
    QCOMPARE(spy.count(), 1);
    menu->aReports->trigger();
    QCOMPARE(spy.count(), 2);
}

void TestMainMenu::aboutBoxContents()
{
    AboutDialog* about = menu->about;
    QVERIFY(about);
    QCOMPARE(about->parent(), nullptr);
    QCOMPARE(about->windowTitle(), QString("Справка"));
    QCOMPARE(about->size(), QSize(269, 199));
    auto label = [&](const char* name) {
        auto* l = about->findChild<QLabel*>(name);
        if (!l)
            qFatal("no label %s", name);
        return l;
    };
    QCOMPARE(label("label")->text(), QString("Справка"));
    label("label")->ensurePolished();
    QCOMPARE(label("label")->font().pointSize(), 14);
    QVERIFY(label("label")->font().bold());
    QCOMPARE(label("label_3")->text(), QString("Версия:"));
    QCOMPARE(label("label_5")->text(), QString(KELM_VERSION));
    QVERIFY(label("label_6")->text().contains("Программа управления"));
    QVERIFY(label("label_6")->text().contains("КЕЛМ-Е1+."));
    QVERIFY(label("label_2")->text().isEmpty());
    QCOMPARE(label("label_2")->pixmap().size(), QSize(91, 57));
    QVERIFY(!label("label_2")->hasScaledContents());
    QVERIFY(label("label_4")->openExternalLinks());
    QVERIFY(label("label_4")->text().contains("href=\"https://"));
    QCOMPARE(about->findChild<QPushButton*>("bClose")->text(), QString("Закрыть"));
}

void TestMainMenu::aboutBoxShowsModallyAndCloses()
{
    AboutDialog* about = menu->about;
    for (int round = 0; round < 2; ++round) {
        bool wasModal = false;
        QTimer::singleShot(0, about, [&] {
            wasModal = about->isVisible() && QApplication::activeModalWidget() == about;
            QTest::mouseClick(about->findChild<QPushButton*>("bClose"), Qt::LeftButton);
        });
        menu->aAbout->trigger(); // returns once bClose has closed it
        QVERIFY(wasModal);
        QVERIFY(!about->isVisible());
        QCOMPARE(menu->about, about); // the same box every time
    }
}

void TestMainMenu::exitClosesEveryWindow()
{
    auto* main = new MainWidget;
    main->device->scan_timer->stop();
    QWidget table(nullptr, Qt::Tool);
    QWidget hist(nullptr, Qt::Tool);
    main->menu->set_table_window(&table);
    main->menu->set_histograms_window(&hist);
    main->show();
    main->menu->aTable->trigger();
    main->menu->aHistograms->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    QVERIFY(table.isVisible() && hist.isVisible());

    main->menu->aExit->trigger();
    QVERIFY(!main->isVisible());
    QVERIFY(!table.isVisible());
    QVERIFY(!hist.isVisible());

    // In the running program that also ends the event loop.
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    QTimer::singleShot(0, main, [main] { main->menu->aExit->trigger(); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    watchdog.start(5000);
    QCOMPARE(QApplication::exec(), 0);
    delete main;
}

QTEST_MAIN(TestMainMenu)
#include "test_mainmenu.moc"
