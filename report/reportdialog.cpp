#include "reportdialog.h"
#include "ui_reportdialog.h"

#include <QFileDialog>

std::function<QString(QWidget*, const QString&, const QString&, const QString&)>
    ReportDialog::save_file_name = [](QWidget* parent, const QString& caption, const QString& dir,
                                      const QString& filter) {
        // Whether to replace is asked once for all the report's files, when it is written.
        return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr, QFileDialog::DontConfirmOverwrite);
    };

ReportDialog::ReportDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::ReportDialog)
{
    ui->setupUi(this);
    ui->cbComments->setChecked(false);
    ui->teComments->setEnabled(false);
    ui->cbMainA->setChecked(true);
    ui->cbMainB->setChecked(true);
    ui->cbTable->setChecked(true);
    ui->cbChart->setChecked(true);
    ui->bOK->setEnabled(false);

    connect(ui->bOK, SIGNAL(clicked()), this, SLOT(accept()));
    connect(ui->bCancel, SIGNAL(clicked()), this, SLOT(reject()));
    connect(ui->cbComments, SIGNAL(toggled(bool)), this, SLOT(cbCommentsToggled(bool)));
    connect(ui->teComments, SIGNAL(textChanged()), this, SLOT(teCommentsTextChanged()));
    connect(ui->cbMainA, SIGNAL(toggled(bool)), this, SLOT(cbMainAToggled(bool)));
    connect(ui->cbMainB, SIGNAL(toggled(bool)), this, SLOT(cbMainBToggled(bool)));
    connect(ui->cbTable, SIGNAL(toggled(bool)), this, SLOT(cbTableToggled(bool)));
    connect(ui->cbChart, SIGNAL(toggled(bool)), this, SLOT(cbChartToggled(bool)));
    connect(ui->bFile, SIGNAL(clicked()), this, SLOT(bFileClicked()));
}

ReportDialog::~ReportDialog()
{
    delete ui;
}

void ReportDialog::cbCommentsToggled(bool on)
{
    ui->teComments->setEnabled(on);
    m_comments = on;
}

void ReportDialog::teCommentsTextChanged()
{
    m_comments_text = ui->teComments->document()->toPlainText();
}

void ReportDialog::cbMainAToggled(bool on)
{
    m_main_a = on;
}

void ReportDialog::cbMainBToggled(bool on)
{
    m_main_b = on;
}

void ReportDialog::cbTableToggled(bool on)
{
    m_table = on;
}

void ReportDialog::cbChartToggled(bool on)
{
    m_chart = on;
}

void ReportDialog::bFileClicked()
{
    m_file_name = save_file_name(this, tr("Save File"), QString(), "Portable Document Format (*.pdf)");
    // The companions' suffix goes before the last four characters, so the
    // name must end in the extension: "noext" is written as "noext.pdf".
    if (!m_file_name.isEmpty() && !m_file_name.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        m_file_name += QLatin1String(".pdf");
    ui->lFile->setText(m_file_name);
    ui->bOK->setEnabled(!m_file_name.isEmpty());
}
