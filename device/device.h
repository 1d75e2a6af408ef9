#pragma once
// Link to the instrument: scans for it, runs the polled request/reply exchange
// over the USB layer, queues commands and polls, and announces replies.
// Owns the data model (through ModelHost) and the codec.

#include "proto/modelhost.h"
#include "usb/usb.h"

#include <QByteArray>
#include <QQueue>
#include <QString>

#include <functional>

class Proto;
class QTimer;
struct Setup;

class Device : public ModelHost {
    Q_OBJECT
public:
    explicit Device(QObject* parent = nullptr);
    ~Device() override;

    bool is_connected() const { return connected; }

    // The one way the link shows something to the user (the two-instruments
    // warning). Tests replace it; by default a modal warning box.
    static std::function<void(const QString&)> warning_box;

    // A reply not seen within this time after its write ends the connection.
    static constexpr qint64 REPLY_TIMEOUT_MS = 5000;
    // Monotonic milliseconds used for that time-out; tests drive it.
    static std::function<qint64()> clock_ms;

    // True from a reconnection until the held records have been found equal
    // to the instrument's; meanwhile the list is neither extended nor replaced.
    bool checking_records() const { return checking_; }

    // Sends a setup as the panels would send its settings, in a fixed order,
    // then asks for both channels' configurations, so the panels show what the
    // instrument took. Refused while no instrument is connected or a test
    // runs; the reason is in `error` and nothing is sent then.
    bool send_setup(const Setup& s, QString* error);
    // Reads and checks a setup file, then sends it.
    bool send_setup_file(const QString& path, QString* error);

signals:
    void dev_conn();
    void dev_disc();
    void cfg_rcv(uchar channel);
    void res_rcv(uchar channel);
    void table_rec_rcv();
    void dev_test_state();
    // An instrument was found but could not be opened (no permission, busy);
    // `reason` is the backend's explanation, possibly empty.
    void dev_open_failed(const QString& reason);
    // The record list was emptied: a new test began, or the instrument's
    // records are not the ones held. Whatever shows the list starts afresh.
    void records_cleared();

public slots:
    void get_cfg(uchar channel);
    void set_base_setting();
    void set_seq_settings();
    void set_freq_settings_a();
    void set_freq_settings_b();
    void set_linear_settings();
    void set_error_settings_a();
    void set_error_settings_b();
    void set_defect_settings_a();
    void set_defect_settings_b();
    void set_cycle_settings_a();
    void set_cycle_settings_b();
    void set_channel_settings_a();
    void set_channel_settings_b();
    void set_jitter_settings();
    void start_stop_test();
    void user_toggle_test();
    void tDevScanTimeout();
    void tDevIOTimeout();
    void tDevResTimeout();

public:
    // State of the link; read by tests and the panels, written only here.
    bool connected = false;
    bool awaiting_reply = false;
    quint8 expected_code = 0;
    qint64 write_time_ms = 0;
    usb::Handle handle = nullptr;
    QQueue<QByteArray> cmd_queue;
    QQueue<QByteArray> rec_queue;
    Proto* proto = nullptr;
    QTimer* io_timer = nullptr;
    QTimer* scan_timer = nullptr;
    QTimer* res_timer = nullptr;

private:
    void queue(quint8 code);
    void close_link();
    void merge_record(quint8 code);
    void clear_records();
    void check_held_records(quint8 held_id);
    void check_record();
    quint32 report_status(const char* what, quint32 st);

    // Leading records of the list known to hold what the instrument stored
    // (taken by number once closed); any after them may have been read while
    // the instrument was still counting them.
    quint8 run_requested_ = 0;   // what the start/stop command in flight asked for: 1 run, 0 stop
    qsizetype closed_count_ = 0;
    bool checking_ = false;
    QList<quint32> check_numbers_;   // held records asked for again, awaiting their replies
};
