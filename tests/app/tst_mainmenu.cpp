// The main menu: the windows it shows, and Exit.

#include "app/mainmenu.h"
#include "app/mainwidget.h"
#include "device/device.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QTimer>

class TstMainMenu : public QObject {
    Q_OBJECT
private slots:
    void windowsAreShownAndRaised()
    {
        MainMenu menu;
        menu.aTable->trigger(); // no window set yet: nothing happens
        QWidget main, table(nullptr, Qt::Tool);
        menu.set_table_window(&table);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        menu.aTable->trigger();
        QVERIFY(QTest::qWaitForWindowActive(&table));
        // Already visible but behind another window: brought to the front again.
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        menu.aTable->trigger();
        QVERIFY(QTest::qWaitForWindowActive(&table));
    }

    void exitClosesEveryWindowAndEndsTheProgram()
    {
        MainWidget main;
        main.device->scan_timer->stop();
        QWidget table(nullptr, Qt::Tool), hist(nullptr, Qt::Tool);
        main.menu->set_table_window(&table);
        main.menu->set_histograms_window(&hist);
        main.show();
        main.menu->aTable->trigger();
        main.menu->aHistograms->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QVERIFY(table.isVisible() && hist.isVisible());
        main.menu->aExit->trigger();
        QVERIFY(!main.isVisible() && !table.isVisible() && !hist.isVisible());

        // In the running program that also ends the event loop.
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QTimer::singleShot(0, &main, [&main] { main.menu->aExit->trigger(); });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); }); // watchdog
        QCOMPARE(QApplication::exec(), 0);
    }
};

QTEST_MAIN(TstMainMenu)
#include "tst_mainmenu.moc"
