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

    QMenu* actions = addMenu(tr("Actions"));
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
}

MainMenu::~MainMenu() { delete about; }

void MainMenu::aTableTriggered()
{
    if (!table_window_)
        return;
    table_window_->show();
    table_window_->raise(); // activation alone does not lift it on every window manager
    table_window_->activateWindow();
}

void MainMenu::aHistogramsTriggered()
{
    if (!histograms_window_)
        return;
    histograms_window_->show();
    histograms_window_->raise();
    histograms_window_->activateWindow();
}

void MainMenu::aReportsTriggered() { emit create_pdf(); }
