#include "mainmenu.h"

#include "aboutdialog.h"

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
    // Exit stays last, apart from the actions that do something.
    actions->addSeparator();
    actions->addAction(aExit);
    QMenu* windows = addMenu(tr("Windows"));
    windows->addAction(aTable);
    windows->addAction(aHistograms);
    windows->addAction(aReports);
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
}

MainMenu::~MainMenu() { delete about; }

void MainMenu::aTableTriggered()
{
    if (!table_window)
        return;
    table_window->show();
    table_window->raise(); // activation alone does not lift it on every window manager
    table_window->activateWindow();
}

void MainMenu::aHistogramsTriggered()
{
    if (!histograms_window)
        return;
    histograms_window->show();
    histograms_window->raise();
    histograms_window->activateWindow();
}

void MainMenu::aReportsTriggered() { emit create_pdf(); }
