#include "app/mainwidget.h"
#include "ui_mainwidget.h"

#include "app/mainmenu.h"
#include "csv/csvexport.h"
#include "device/device.h"
#include "events/eventlog.h"
#include "events/eventlogform.h"
#include "panels/receiveframe.h"
#include "panels/settingsframe.h"
#include "panels/transmissionframe.h"
#include "panels/windowplacement.h"
#include "proto/instrument.h"
#include "proto/setupfile.h"
#include "proto/verdicts.h"
#include "records/histogramsform.h"
#include "records/tableform.h"
#include "report/pdfcreator.h"
#include "results/resultframe.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QScreen>
#include <QTranslator>

MainWidget::MainWidget(QWidget* parent) : QWidget(parent), ui_(new Ui::MainWidget)
{
    // The Russian catalogue is always used; it must be in place before any
    // translated text is built. A failed load just leaves the English texts.
    translator = new QTranslator(qApp);
    (void)translator->load("E1_rc_ru", ":/");
    QApplication::installTranslator(translator);
    // Qt's own texts (file dialogs, standard buttons) from Qt's Russian
    // catalogue; a deployed Windows program has them as one "qt_ru".
    qt_translator = new QTranslator(qApp);
    const QString qt_dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (qt_translator->load("qtbase_ru", qt_dir) || qt_translator->load("qt_ru", qt_dir))
        QApplication::installTranslator(qt_translator);

    ui_->setupUi(this);

    device = new Device;

    menu = new MainMenu;
    layout()->setMenuBar(menu);

    settings = new SettingsFrame(device);
    tx_a = new TransmissionFrame(device, 0);
    rx_a = new ReceiveFrame(device, 0);
    tx_b = new TransmissionFrame(device, 1);
    rx_b = new ReceiveFrame(device, 1);
    for (QWidget* panel : {static_cast<QWidget*>(settings), static_cast<QWidget*>(tx_a),
                           static_cast<QWidget*>(rx_a), static_cast<QWidget*>(tx_b),
                           static_cast<QWidget*>(rx_b)})
        ui_->fLeft->layout()->addWidget(panel);

    result_a = new ResultFrame(device, 0);
    result_b = new ResultFrame(device, 1);
    ui_->fRight->layout()->addWidget(result_a);
    ui_->fRight->layout()->addWidget(result_b);

    table = new TableForm(device);
    menu->set_table_window(table);
    histograms = new HistogramsForm(device);
    menu->set_histograms_window(histograms);

    pdf = new PDFCreator;
    pdf->set_model(device);
    pdf->set_charts(histograms->chartA(), histograms->chartB());

    // The size is fixed, so a maximize button would only mislead. The usual
    // decorations are named first because a window without explicit hints
    // gets whatever the platform likes, maximize included.
    Qt::WindowFlags flags = windowFlags();
    if (!(flags & (Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)))
        flags |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                 | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint;
    setWindowFlags(flags & ~Qt::WindowMaximizeButtonHint);

    centre_in_available_area(this, Placement::Frame);

    // Connections, in this order; where a signal has several receivers they
    // run in the order made here.
    connect(menu, &MainMenu::create_pdf, pdf, &PDFCreator::create_pdf);
    connect(device, &Device::dev_conn, this, &MainWidget::dev_conn);
    connect(device, &Device::dev_disc, this, &MainWidget::dev_disc);
    connect(device, &Device::dev_test_state, this, &MainWidget::dev_test_state);
    connect(this, &MainWidget::get_cfg, device, &Device::get_cfg);
    connect(device, &Device::cfg_rcv, this, &MainWidget::cfg_rcv);
    connect(device, &Device::res_rcv, this, &MainWidget::res_rcv);
    connect(device, &Device::dev_open_failed, this, &MainWidget::dev_open_failed);
    connect(settings, &SettingsFrame::rxtx_jointly_sw, tx_a, &TransmissionFrame::rxtx_jointly_sw);
    connect(settings, &SettingsFrame::rxtx_jointly_sw, rx_a, &ReceiveFrame::rxtx_jointly_sw);
    connect(settings, &SettingsFrame::rxtx_jointly_usr, rx_a, &ReceiveFrame::rxtx_jointly_usr);
    connect(settings, &SettingsFrame::rxtx_jointly_sw, tx_b, &TransmissionFrame::rxtx_jointly_sw);
    connect(settings, &SettingsFrame::rxtx_jointly_sw, rx_b, &ReceiveFrame::rxtx_jointly_sw);
    connect(settings, &SettingsFrame::rxtx_jointly_usr, rx_b, &ReceiveFrame::rxtx_jointly_usr);
    connect(tx_a, &TransmissionFrame::update_rcv_form, rx_a, &ReceiveFrame::update_rcv_form);
    connect(tx_b, &TransmissionFrame::update_rcv_form, rx_b, &ReceiveFrame::update_rcv_form);
    connect(device, &Device::table_rec_rcv, table, &TableForm::table_rec_rcv);
    connect(table, &TableForm::draw_rec, histograms, &HistogramsForm::draw_rec);
    // The device link decides when its records start afresh (a new test, or
    // another test found on reconnection); the windows follow it.
    connect(device, &Device::records_cleared, histograms, &HistogramsForm::repaint_charts);
    connect(device, &Device::records_cleared, table, &TableForm::clear_table);
    connect(settings, &SettingsFrame::set_base_settings, device, &Device::set_base_setting);
    connect(settings, &SettingsFrame::set_seq_settings, device, &Device::set_seq_settings);
    connect(tx_a, &TransmissionFrame::set_seq_settings, device, &Device::set_seq_settings);
    connect(rx_a, &ReceiveFrame::set_seq_settings, device, &Device::set_seq_settings);
    connect(tx_b, &TransmissionFrame::set_seq_settings, device, &Device::set_seq_settings);
    connect(rx_b, &ReceiveFrame::set_seq_settings, device, &Device::set_seq_settings);
    connect(tx_a, &TransmissionFrame::set_freq_settings, device, &Device::set_freq_settings_a);
    connect(tx_b, &TransmissionFrame::set_freq_settings, device, &Device::set_freq_settings_b);
    connect(tx_a, &TransmissionFrame::set_linear_settings, device, &Device::set_linear_settings);
    connect(rx_a, &ReceiveFrame::set_linear_settings, device, &Device::set_linear_settings);
    connect(tx_b, &TransmissionFrame::set_linear_settings, device, &Device::set_linear_settings);
    connect(rx_b, &ReceiveFrame::set_linear_settings, device, &Device::set_linear_settings);
    connect(tx_a, &TransmissionFrame::set_error_settings, device, &Device::set_error_settings_a);
    connect(tx_b, &TransmissionFrame::set_error_settings, device, &Device::set_error_settings_b);
    connect(tx_a, &TransmissionFrame::set_defect_settings, device, &Device::set_defect_settings_a);
    connect(tx_b, &TransmissionFrame::set_defect_settings, device, &Device::set_defect_settings_b);
    connect(tx_a, &TransmissionFrame::set_cycle_settings, device, &Device::set_cycle_settings_a);
    connect(rx_a, &ReceiveFrame::set_cycle_settings, device, &Device::set_cycle_settings_a);
    connect(tx_b, &TransmissionFrame::set_cycle_settings, device, &Device::set_cycle_settings_b);
    connect(rx_b, &ReceiveFrame::set_cycle_settings, device, &Device::set_cycle_settings_b);
    connect(tx_a, &TransmissionFrame::set_channel_settings, device, &Device::set_channel_settings_a);
    connect(rx_a, &ReceiveFrame::set_channel_settings, device, &Device::set_channel_settings_a);
    connect(tx_b, &TransmissionFrame::set_channel_settings, device, &Device::set_channel_settings_b);
    connect(rx_b, &ReceiveFrame::set_channel_settings, device, &Device::set_channel_settings_b);
    connect(tx_a, &TransmissionFrame::set_jitter_settings, device, &Device::set_jitter_settings);
    connect(ui_->bExit, &QPushButton::clicked, this, &MainWidget::close);
    connect(ui_->bStart, &QPushButton::clicked, device, &Device::start_stop_test);
    connect(ui_->bStop, &QPushButton::clicked, device, &Device::start_stop_test);

    // The event log follows the device link by itself, and hears of every
    // settings change the panels send, to log those made during a test.
    event_log = new EventLog(device);
    event_log->watch_settings(settings, EventLog::NO_CHANNEL);
    event_log->watch_settings(tx_a, 0);
    event_log->watch_settings(rx_a, 0);
    event_log->watch_settings(tx_b, 1);
    event_log->watch_settings(rx_b, 1);
    pdf->set_event_log(event_log);
    events_window = new EventLogForm(event_log);
    centre_in_available_area(events_window);
    menu->set_events_window(events_window);
    csv_dir_ = QDir::homePath();
    connect(menu, &MainMenu::export_csv, this, [this] { export_csv(std::nullopt); });
    connect(table, &TableForm::export_csv, this, [this] { export_csv(csv::Kind::RECORDS); });
    connect(events_window, &EventLogForm::export_csv, this, [this] { export_csv(csv::Kind::EVENTS); });

    connect(menu, &MainMenu::save_settings, this, &MainWidget::save_settings);
    connect(menu, &MainMenu::load_settings, this, &MainWidget::load_settings);
    connect(menu, &MainMenu::set_allocation, this, &MainWidget::set_allocation);
}

MainWidget::~MainWidget()
{
    delete settings;
    delete tx_a;
    delete rx_a;
    delete tx_b;
    delete rx_b;
    // The results panels would go with the window, but after the device link.
    delete result_a;
    delete result_b;
    delete table;
    delete histograms;
    delete pdf;
    delete events_window;
    delete event_log;
    delete menu;
    delete ui_;
    delete device;
}

void MainWidget::dev_test_state()
{
    const bool running = device->common.test_running != 0;
    ui_->bStart->setEnabled(!running);
    ui_->bStop->setEnabled(running);
    settings->update_test_state();
}

void MainWidget::dev_conn()
{
    const QString model = " - " + instrument_name(device->device_id) + " ";
    setWindowTitle(tr("KELM E1/E10 Remote Control") + model + tr("Connected"));
    emit get_cfg(0);
    emit get_cfg(1);
}

void MainWidget::dev_disc()
{
    // Only the title and the buttons: the panels keep the last values shown.
    setWindowTitle(tr("KELM E1/E10 Remote Control"));
    ui_->bStart->setEnabled(false);
    ui_->bStop->setEnabled(false);
}

void MainWidget::cfg_rcv(uchar channel)
{
    if (channel == 0) {
        rx_a->update_form();
        tx_a->update_form();
        settings->update_form();
    } else {
        rx_b->update_form();
        tx_b->update_form();
    }
    dev_test_state();
}

void MainWidget::res_rcv(uchar channel)
{
    const int ch = channel == 0 ? 0 : 1;
    if (ch == 0) {
        result_a->update_results();
        rx_a->show_signal();
    } else {
        result_b->update_results();
        rx_b->show_signal();
    }
    // Bit 0: the instrument's configuration of this channel has changed.
    if (device->results[ch].status_flags & 0x01)
        emit get_cfg(channel);
}

void MainWidget::dev_open_failed(const QString& reason)
{
    // The title is the one place the user looks for the connection state.
    Q_UNUSED(reason); // already in the debug output
    setWindowTitle(tr("KELM E1/E10 Remote Control") + " - "
                   + tr("Instrument found but could not be opened (no access, or in use)"));
}

void MainWidget::export_csv(std::optional<csv::Kind> kind)
{
    const QString stamp = "kelm_" + QDateTime::currentDateTime().toString("yyyy-MM-dd_hh-mm-ss");
    // For all three files the name is only their prefix: the dialog must not
    // ask about replacing a file of that name, which is not written.
    QString path = QFileDialog::getSaveFileName(
        this, tr("Export to CSV"), QDir(csv_dir_).filePath(kind ? csv::file_name(stamp, *kind) : stamp),
        tr("CSV files (*.csv)"), nullptr, kind ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return;
    csv_dir_ = QFileInfo(path).absolutePath();
    bool ok = false;
    QString error;
    if (kind) {
        if (QFileInfo(path).suffix().isEmpty())
            path += ".csv";
        ok = csv::write_file(path, *kind, *device, event_log->events(), &error);
    } else {
        const QString prefix = csv::prefix_of(path);
        QStringList existing;
        for (const QString& name : csv::file_names(prefix))
            if (QFileInfo::exists(name))
                existing << QDir::toNativeSeparators(name);
        if (!existing.isEmpty()
            && QMessageBox::question(this, tr("Export to CSV"),
                                     tr("These files already exist:\n%1\nReplace them?").arg(existing.join('\n')))
                   != QMessageBox::Yes)
            return;
        ok = csv::write_all(prefix, *device, event_log->events(), &error);
    }
    if (!ok)
        QMessageBox::warning(this, tr("Export to CSV"), tr("The CSV file could not be written:\n%1").arg(error));
}

// ---- setups in files, objectives allocation ---------------------------------

void MainWidget::save_settings()
{
    QString path = QFileDialog::getSaveFileName(this, tr("Save settings"), QString(), tr("Setup files (*.json)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += ".json";
    QString error;
    if (!save_setup_file(path, setup_of(*device), &error))
        QMessageBox::warning(this, tr("Save settings"), error);
}

void MainWidget::load_settings()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Load settings"), QString(),
                                                      tr("Setup files (*.json);;All files (*)"));
    QString error;
    // The panels follow when the instrument's configuration replies arrive.
    if (!path.isEmpty() && !device->send_setup_file(path, &error))
        QMessageBox::warning(this, tr("Load settings"), error);
}

void MainWidget::set_allocation()
{
    bool ok = false;
    const double pct = QInputDialog::getDouble(
        this, tr("Objectives allocation"), tr("Share of the end-to-end objectives allotted to the tested path, %:"),
        device->allocation_pct, ALLOCATION_MIN_PCT, ALLOCATION_MAX_PCT, 1, &ok);
    if (!ok)
        return;
    device->allocation_pct = pct;
    result_a->update_results();
    result_b->update_results();
}
