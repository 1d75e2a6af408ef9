#pragma once
// Asks for the size and the file of a chart image.

#include <QDialog>
#include <QSize>
#include <QString>

#include <functional>

class QDateTime;
class QFileDialog;

namespace Ui {
class SaveChartDialog;
}

class SaveChartDialog : public QDialog {
    Q_OBJECT
public:
    explicit SaveChartDialog(QWidget* parent = nullptr);
    ~SaveChartDialog() override;

    QString file_name() const;
    QSize image_size() const;

    // The name proposed in the file dialog: the date and time of the moment.
    static QString proposed_file_name(const QDateTime& when);

    // Runs the file dialog; true when accepted. Tests replace it.
    static std::function<bool(QFileDialog&)> exec_file_dialog;

    Ui::SaveChartDialog* ui;

public slots:
    void bFileOpenClicked();
};
