#include "app/mainmenu.h"

#include "app/aboutdialog.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

MainMenu::MainMenu(QWidget* parent) : QMenuBar(parent)
{
    aExit = new QAction(tr("Exit"), this);
    aExit->setObjectName("aExit");
    aTable = new QAction(QIcon(":img/table.png"), tr("Table"), this);
    aTable->setObjectName("aTable");
    aHistograms = new QAction(QIcon(":img/chart.png"), tr("Histograms"), this);
    aHistograms->setObjectName("aHistograms");
    aReports = new QAction(QIcon(":img/report.png"), tr("Reports"), this);
    aReports->setObjectName("aReports");
    aAbout = new QAction(QIcon(":img/about.png"), tr("About"), this);
    aAbout->setObjectName("aAbout");
    aAboutQt = new QAction(QIcon(":img/qt.png"), tr("About Qt"), this);
    aAboutQt->setObjectName("aAboutQt");
    aExportCsv = new QAction(tr("Export to CSV..."), this);
    aExportCsv->setObjectName("aExportCsv");
    aEvents = new QAction(tr("Event log"), this);
    aEvents->setObjectName("aEvents");

    aSaveSettings = new QAction(tr("Save settings..."), this);
    aSaveSettings->setObjectName("aSaveSettings");
    aLoadSettings = new QAction(tr("Load settings..."), this);
    aLoadSettings->setObjectName("aLoadSettings");
    aAllocation = new QAction(tr("Objectives allocation..."), this);
    aAllocation->setObjectName("aAllocation");

    QMenu* actions = addMenu(tr("Actions"));
    actions->addAction(aSaveSettings);
    actions->addAction(aLoadSettings);
    actions->addAction(aAllocation);
    actions->addAction(aExportCsv);
    // Exit stays last, apart from the actions that do something.
    actions->addSeparator();
    actions->addAction(aExit);
    QMenu* windows = addMenu(tr("Windows"));
    windows->addAction(aTable);
    windows->addAction(aHistograms);
    windows->addAction(aReports);
    windows->addAction(aEvents);
    QMenu* information = addMenu(tr("Information"));
    information->addAction(aAbout);
    information->addAction(aAboutQt);

    // No parent: a top-level dialog of its own, deleted with the menu.
    about = new AboutDialog;

    connect(aTable, &QAction::triggered, this, &MainMenu::aTableTriggered);
    connect(aHistograms, &QAction::triggered, this, &MainMenu::aHistogramsTriggered);
    connect(aReports, &QAction::triggered, this, &MainMenu::aReportsTriggered);
    connect(aAbout, &QAction::triggered, about, &QDialog::exec);
    connect(aAboutQt, &QAction::triggered, qApp, &QApplication::aboutQt);
    connect(aExit, &QAction::triggered, qApp, &QApplication::closeAllWindows);
    connect(aSaveSettings, &QAction::triggered, this, &MainMenu::save_settings);
    connect(aLoadSettings, &QAction::triggered, this, &MainMenu::load_settings);
    connect(aAllocation, &QAction::triggered, this, &MainMenu::set_allocation);
    connect(aExportCsv, &QAction::triggered, this, &MainMenu::export_csv);
    connect(aEvents, &QAction::triggered, this, &MainMenu::aEventsTriggered);
}

MainMenu::~MainMenu() { delete about; }

void MainMenu::show_window(QWidget* w)
{
    if (!w)
        return;
    w->show();
    w->raise(); // activation alone does not lift it on every window manager
    w->activateWindow();
}

void MainMenu::aTableTriggered() { show_window(table_window_); }

void MainMenu::aHistogramsTriggered() { show_window(histograms_window_); }

void MainMenu::aReportsTriggered() { emit create_pdf(); }

void MainMenu::aEventsTriggered() { show_window(events_window_); }
