#include "mainwidget.h"
#include "ui_mainwidget.h"

#include "device.h"
#include "mainmenu.h"

#include <QApplication>
#include <QScreen>
#include <QTranslator>

MainWidget::MainWidget(QWidget* parent) : QWidget(parent), ui(new Ui::MainWidget)
{
    // The Russian catalogue is always used; it must be in place before any
    // translated text is built. A failed load just leaves the English texts.
    translator = new QTranslator(qApp);
    (void)translator->load("E1_rc_ru", ":/");
    QApplication::installTranslator(translator);

    ui->setupUi(this);

    device = new Device;

    menu = new MainMenu;
    layout()->setMenuBar(menu);

    // [panels: left column] Create with the device link, in this order, and add
    // each to ui->fLeft->layout(): SettingsFrame, TransmissionFrame A,
    // ReceiveFrame A, TransmissionFrame B, ReceiveFrame B.

    // [panels: right column] Create ResultFrame A, then B, and add them to
    // ui->fRight->layout().

    // [windows] Create TableForm, then menu->set_table_window(it); create
    // HistogramsForm, then menu->set_histograms_window(it).

    // [report] Create PDFCreator and set its references: the device link's
    // model, then the histograms window's chart A and chart B.

    // The size is fixed, so a maximize button would only mislead. The usual
    // decorations are named first because a window without explicit hints
    // gets whatever the platform likes, maximize included.
    Qt::WindowFlags flags = windowFlags();
    if (!(flags & (Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)))
        flags |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                 | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint;
    setWindowFlags(flags & ~Qt::WindowMaximizeButtonHint);

    const QRect area = screen()->availableGeometry();
    move((area.left() + area.right()) / 2 - width() / 2,
         (area.top() + area.bottom()) / 2 - height() / 2);

    // Connections, in this order; where a signal has several receivers they
    // run in the order made here.
    // [row 1] menu create_pdf() -> PDFCreator::create_pdf()
    connect(device, &Device::dev_conn, this, &MainWidget::dev_conn);
    connect(device, &Device::dev_disc, this, &MainWidget::dev_disc);
    connect(device, &Device::dev_test_state, this, &MainWidget::dev_test_state);
    connect(this, &MainWidget::get_cfg, device, &Device::get_cfg);
    connect(device, &Device::cfg_rcv, this, &MainWidget::cfg_rcv);
    connect(device, &Device::res_rcv, this, &MainWidget::res_rcv);
    // [rows 8-42] panel and window connections:
    //   8-13  settings rxtx_jointly_sw/usr -> TX A, RX A (sw, sw, usr), TX B, RX B (sw, sw, usr)
    //   14-15 TX A/B update_rcv_form() -> RX A/B update_rcv_form()
    //   16-17 device table_rec_rcv() -> table; table draw_rec() -> histograms
    //   18-42 settings-changed signals -> device set_*() slots
    connect(ui->bExit, &QPushButton::clicked, this, &MainWidget::close);
    connect(ui->bStart, &QPushButton::clicked, device, &Device::start_stop_test);
    connect(ui->bStop, &QPushButton::clicked, device, &Device::start_stop_test);
}

MainWidget::~MainWidget()
{
    // [panels] Delete the settings panel, the four TX/RX panels, the table and
    // histograms windows and the PDF writer here, before the device link.
    delete menu;
    delete ui;
    delete device;
}

void MainWidget::dev_test_state()
{
    const bool running = device->common.test_running != 0;
    ui->bStart->setEnabled(!running);
    ui->bStop->setEnabled(running);
    // [panels] settings->update_test_state();
    if (running) {
        // [panels] histograms->repaint_charts(); then table->clear_table();
    }
}

void MainWidget::dev_conn()
{
    QString model;
    switch (device->device_id) {
    case 9:
        model = " - KELM-E10 ";
        break;
    case 10:
        model = " - KELM-E1+ ";
        break;
    case 7:
        model = " - KELM-E1 ";
        break;
    default:
        model = " - KELM-E?? ";
        break;
    }
    setWindowTitle(tr("KELM E1/E10 Remote Control") + model + tr("Connected"));
    emit get_cfg(0);
    emit get_cfg(1);
    // [panels] histograms->repaint_charts(); then table->clear_table();
}

void MainWidget::dev_disc()
{
    // Only the title and the buttons: the panels keep the last values shown.
    setWindowTitle(tr("KELM E1/E10 Remote Control"));
    ui->bStart->setEnabled(false);
    ui->bStop->setEnabled(false);
}

void MainWidget::cfg_rcv(uchar channel)
{
    if (channel == 0) {
        // [panels] rx_a->update_form(); tx_a->update_form(); settings->update_form();
    } else {
        // [panels] rx_b->update_form(); tx_b->update_form();
    }
    dev_test_state();
}

void MainWidget::res_rcv(uchar channel)
{
    const int ch = channel == 0 ? 0 : 1;
    // [panels] channel A: result_a->update_results(); rx_a->show_signal();
    //          otherwise: result_b->update_results(); rx_b->show_signal();
    // Bit 0: the instrument's configuration of this channel has changed.
    if (device->results[ch].status_flags & 0x01)
        emit get_cfg(channel);
}
