#pragma once
// Time-stamped log of what happened during a test, derived from what the
// device link already receives: alarms rising and clearing, the test started
// and stopped, the instrument connected and disconnected, settings changed
// while a test runs. It is also the table model of the log's window.

#include <QAbstractTableModel>
#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

class Device;

struct LogEvent {
    QDateTime when;       // the PC's local time
    quint32 elapsed_s;    // the test's elapsed time
    int channel;          // 0 A, 1 B, NO_CHANNEL where none applies
    QString text;
};

class EventLog : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int NO_CHANNEL = -1;
    // The newest events are kept; past the bound the oldest DROP_CHUNK go at once.
    static constexpr int MAX_EVENTS = 10000;
    static constexpr int DROP_CHUNK = 1000;
    enum Column { COL_TIME, COL_ELAPSED, COL_CHANNEL, COL_EVENT, COLUMNS };

    explicit EventLog(Device* device, QObject* parent = nullptr);

    const QList<LogEvent>& events() const { return events_; }
    // Events of the current log dropped to keep it within MAX_EVENTS.
    int dropped() const { return dropped_; }
    // When the current test started by the PC's clock: seen starting, or
    // found running (then the PC time less its test time); invalid when not
    // known, as for a test found already stopped.
    QDateTime test_started() const { return started_; }

    // Logs a change of settings while a test runs for every "set_..." signal
    // of `panel`, which edits the settings of `channel` (NO_CHANNEL: common).
    void watch_settings(QObject* panel, int channel);

    static QString channel_name(int channel);
    // The text of one column of an event, as the window and the report show it.
    static QString cell_text(const LogEvent& e, int column);
    // The column's name.
    static QString column_name(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    void dropped_changed(int dropped);

private slots:
    void dev_conn();
    void dev_disc();
    void dev_test_state();
    void cfg_rcv(uchar channel);
    void res_rcv(uchar channel);
    void records_cleared();
    void settings_sent();

private:
    // Who changed the test state: the PC's Start/Stop (acknowledged by the
    // instrument), the instrument itself, or unknown because it changed while
    // no connection was open.
    enum class Cause { PC, INSTRUMENT, FOUND };
    void check_test_state(Cause cause);
    void log_stop();
    void log_alarms(int channel);
    void add(int channel, const QString& text, quint32 elapsed_s);
    void add(int channel, const QString& text) { add(channel, text, elapsed_); }
    QByteArray settings_bytes(int channel) const;

    Device* device_;
    QList<LogEvent> events_;
    int dropped_ = 0;

    bool connected_ = false;
    bool first_cfg_ = false;        // the next channel-A configuration is a connection's first
    bool running_ = false;          // the test state as last logged
    bool found_pending_ = false;    // a state found at connection waits for the test time
    quint32 elapsed_ = 0;           // the test time of the newest results
    QDateTime started_;             // see test_started()
    quint8 alarms_[2] = {0, 0};     // as last logged
    bool cfg_flagged_[2] = {false, false};   // the instrument said its settings changed
    QByteArray cfg_seen_[2];        // settings bytes of the last configuration reply
    QHash<QObject*, int> panels_;   // watched panel -> channel
};
