#include "report/reportdialog.h"
#include "ui_reportdialog.h"

#include <QFileDialog>

std::function<QString(QWidget*, const QString&, const QString&, const QString&)>
    ReportDialog::save_file_name = [](QWidget* parent, const QString& caption, const QString& dir,
                                      const QString& filter) {
        // Whether to replace is asked once for all the report's files, when it is written.
        return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr, QFileDialog::DontConfirmOverwrite);
    };

ReportDialog::ReportDialog(QWidget* parent)
    : QDialog(parent), ui_(new Ui::ReportDialog)
{
    ui_->setupUi(this);
    ui_->cbComments->setChecked(false);
    ui_->teComments->setEnabled(false);
    ui_->cbMainA->setChecked(true);
    ui_->cbMainB->setChecked(true);
    ui_->cbTable->setChecked(true);
    ui_->cbChart->setChecked(true);
    ui_->cbEvents->setChecked(true);
    ui_->bOK->setEnabled(false);

    connect(ui_->bOK, SIGNAL(clicked()), this, SLOT(accept()));
    connect(ui_->bCancel, SIGNAL(clicked()), this, SLOT(reject()));
    connect(ui_->cbComments, SIGNAL(toggled(bool)), this, SLOT(cbCommentsToggled(bool)));
    connect(ui_->teComments, SIGNAL(textChanged()), this, SLOT(teCommentsTextChanged()));
    connect(ui_->cbMainA, SIGNAL(toggled(bool)), this, SLOT(cbMainAToggled(bool)));
    connect(ui_->cbMainB, SIGNAL(toggled(bool)), this, SLOT(cbMainBToggled(bool)));
    connect(ui_->cbTable, SIGNAL(toggled(bool)), this, SLOT(cbTableToggled(bool)));
    connect(ui_->cbChart, SIGNAL(toggled(bool)), this, SLOT(cbChartToggled(bool)));
    connect(ui_->cbEvents, SIGNAL(toggled(bool)), this, SLOT(cbEventsToggled(bool)));
    connect(ui_->bFile, SIGNAL(clicked()), this, SLOT(bFileClicked()));
}

ReportDialog::~ReportDialog()
{
    delete ui_;
}

void ReportDialog::cbCommentsToggled(bool on)
{
    ui_->teComments->setEnabled(on);
    comments_ = on;
}

void ReportDialog::teCommentsTextChanged()
{
    comments_text_ = ui_->teComments->document()->toPlainText();
}

void ReportDialog::cbMainAToggled(bool on)
{
    main_a_ = on;
}

void ReportDialog::cbMainBToggled(bool on)
{
    main_b_ = on;
}

void ReportDialog::cbTableToggled(bool on)
{
    table_ = on;
}

void ReportDialog::cbChartToggled(bool on)
{
    chart_ = on;
}

void ReportDialog::cbEventsToggled(bool on)
{
    events_ = on;
}

void ReportDialog::bFileClicked()
{
    file_name_ = save_file_name(this, tr("Save File"), QString(), "Portable Document Format (*.pdf)");
    // The companions' suffix goes before the last four characters, so the
    // name must end in the extension: "noext" is written as "noext.pdf".
    if (!file_name_.isEmpty() && !file_name_.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        file_name_ += QLatin1String(".pdf");
    ui_->lFile->setText(file_name_);
    ui_->bOK->setEnabled(!file_name_.isEmpty());
}
