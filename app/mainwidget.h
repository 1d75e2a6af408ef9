#pragma once
// The main window and controller of kelm-remote: creates the device link, the
// menu and every panel and window, lays them out, wires them, and refreshes
// them when the device link reports a connection, a configuration or results.

#include <QWidget>

class Device;
class MainMenu;
class QTranslator;

namespace Ui {
class MainWidget;
}

class MainWidget : public QWidget {
    Q_OBJECT
public:
    explicit MainWidget(QWidget* parent = nullptr);
    ~MainWidget() override;

    // Created once in the constructor. The translator belongs to the
    // application object; the device link (created without a parent) is
    // deleted last, after everything that points into its model.
    QTranslator* translator = nullptr;
    Device* device = nullptr;
    MainMenu* menu = nullptr;
    // [panels] SettingsFrame, TransmissionFrame x2, ReceiveFrame x2,
    // ResultFrame x2, TableForm, HistogramsForm, PDFCreator go here.

signals:
    void get_cfg(uchar channel);

public slots:
    void dev_test_state();
    void dev_conn();
    void dev_disc();
    void cfg_rcv(uchar channel);
    void res_rcv(uchar channel);

private:
    Ui::MainWidget* ui;
};
