#include "app/aboutdialog.h"
#include "ui_aboutdialog.h"

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent), ui_(new Ui::AboutDialog)
{
    ui_->setupUi(this);
    connect(ui_->bClose, &QPushButton::clicked, this, &AboutDialog::close);
}

AboutDialog::~AboutDialog() { delete ui_; }
