#include "records/savechartdialog.h"

#include "ui_savechartdialog.h"

#include <QDateTime>
#include <QFileDialog>

std::function<bool(QFileDialog&)> SaveChartDialog::exec_file_dialog = [](QFileDialog& dlg) {
    return dlg.exec() == QDialog::Accepted;
};

SaveChartDialog::SaveChartDialog(QWidget* parent) : QDialog(parent), ui(new Ui::SaveChartDialog)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    connect(ui->bFileOpen, &QPushButton::clicked, this, &SaveChartDialog::bFileOpenClicked);
}

SaveChartDialog::~SaveChartDialog() { delete ui; }

QString SaveChartDialog::file_name() const { return ui->lFileName->text(); }

QSize SaveChartDialog::image_size() const { return QSize(ui->sWidth->value(), ui->sHeight->value()); }

QString SaveChartDialog::proposed_file_name(const QDateTime& when)
{
    return when.toString("yyyy-MM-dd hh-mm-ss") + ".png";
}

void SaveChartDialog::bFileOpenClicked()
{
    QFileDialog dlg(nullptr, QString(), QString(), QString());
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setNameFilter("*.png");
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, false);
    dlg.setDefaultSuffix("png");
    dlg.selectFile(proposed_file_name(QDateTime::currentDateTime()));
    if (!exec_file_dialog(dlg))
        return;
    const QStringList files = dlg.selectedFiles();
    if (!files.isEmpty())
        ui->lFileName->setText(files.first());
}
