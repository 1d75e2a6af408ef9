#pragma once
// The main window and controller of kelm-remote: creates the device link, the
// menu and every panel and window, lays them out, wires them, and refreshes
// them when the device link reports a connection, a configuration or results.

#include <QWidget>

#include <optional>

class Device;
class EventLog;
class EventLogForm;
class HistogramsForm;
class MainMenu;
class PDFCreator;
class QTranslator;
class ReceiveFrame;
class ResultFrame;
class SettingsFrame;
class TableForm;
class TransmissionFrame;

namespace Ui {
class MainWidget;
}
namespace csv {
enum class Kind;
}

class MainWidget : public QWidget {
    Q_OBJECT
public:
    explicit MainWidget(QWidget* parent = nullptr);
    ~MainWidget() override;

    // Created once in the constructor. The translators belong to the
    // application object; the device link (created without a parent) is
    // deleted last, after everything that points into its model.
    QTranslator* translator = nullptr;
    QTranslator* qt_translator = nullptr;
    Device* device = nullptr;
    MainMenu* menu = nullptr;
    SettingsFrame* settings = nullptr;
    TransmissionFrame* tx_a = nullptr;
    ReceiveFrame* rx_a = nullptr;
    TransmissionFrame* tx_b = nullptr;
    ReceiveFrame* rx_b = nullptr;
    ResultFrame* result_a = nullptr;
    ResultFrame* result_b = nullptr;
    TableForm* table = nullptr;
    HistogramsForm* histograms = nullptr;
    PDFCreator* pdf = nullptr;
    EventLog* event_log = nullptr;
    EventLogForm* events_window = nullptr;

signals:
    void get_cfg(uchar channel);

public slots:
    void dev_test_state();
    void dev_conn();
    void dev_disc();
    void cfg_rcv(uchar channel);
    void res_rcv(uchar channel);
    void dev_open_failed(const QString& reason);

    // Menu actions: setups in files, and the objectives allocation.
    void save_settings();
    void load_settings();
    void set_allocation();

private:
    // Asks for a file name and writes the CSV file of `kind`, or, given no
    // kind, all three files with the name chosen as their common prefix.
    void export_csv(std::optional<csv::Kind> kind);

    Ui::MainWidget* ui_;
    QString csv_dir_;   // where the last CSV export went
};
