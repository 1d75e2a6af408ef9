#include "events/eventlog.h"

#include "device/device.h"
#include "proto/formats.h"
#include "proto/instrument.h"

#include <QMetaMethod>

namespace {

// Alarm names from bit 7 down to bit 0 of ChannelResults::alarms.
const char* const ALARM_NAMES[8] = {"LOS", "AIS", "LOF", "LOMF", "LOCRC", "RAI", "MRAI", "PL"};

// The settings group each panel signal sends, as the log names it.
struct SettingsGroup {
    const char* signal;
    const char* text;
};
const SettingsGroup SETTINGS_GROUPS[] = {
    {"set_base_settings", QT_TRANSLATE_NOOP("EventLog", "measurement time")},
    {"set_seq_settings", QT_TRANSLATE_NOOP("EventLog", "sequence and inversion")},
    {"set_freq_settings", QT_TRANSLATE_NOOP("EventLog", "transmit clock")},
    {"set_linear_settings", QT_TRANSLATE_NOOP("EventLog", "line code")},
    {"set_error_settings", QT_TRANSLATE_NOOP("EventLog", "error insertion")},
    {"set_defect_settings", QT_TRANSLATE_NOOP("EventLog", "defect insertion")},
    {"set_cycle_settings", QT_TRANSLATE_NOOP("EventLog", "framing")},
    {"set_channel_settings", QT_TRANSLATE_NOOP("EventLog", "timeslots")},
    {"set_jitter_settings", QT_TRANSLATE_NOOP("EventLog", "jitter generation")},
};

// Two events of one kind this close together come from one change on a
// panel (a joint transmitter and receiver setting sends two commands).
constexpr qint64 SAME_CHANGE_MS = 1000;

} // namespace

EventLog::EventLog(Device* device, QObject* parent) : QAbstractTableModel(parent), device_(device)
{
    running_ = device_->common.test_running != 0;
    connect(device_, &Device::dev_conn, this, &EventLog::dev_conn);
    connect(device_, &Device::dev_disc, this, &EventLog::dev_disc);
    connect(device_, &Device::dev_test_state, this, &EventLog::dev_test_state);
    connect(device_, &Device::cfg_rcv, this, &EventLog::cfg_rcv);
    connect(device_, &Device::res_rcv, this, &EventLog::res_rcv);
    connect(device_, &Device::records_cleared, this, &EventLog::records_cleared);
}

void EventLog::watch_settings(QObject* panel, int channel)
{
    panels_.insert(panel, channel);
    const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("settings_sent()"));
    const QMetaObject* mo = panel->metaObject();
    for (int i = 0; i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        if (m.methodType() == QMetaMethod::Signal && m.name().startsWith("set_"))
            connect(panel, m, this, slot);
    }
}

QString EventLog::channel_name(int channel)
{
    return channel == 0 ? QStringLiteral("A") : channel == 1 ? QStringLiteral("B") : QString();
}

void EventLog::add(int channel, const QString& text, quint32 elapsed_s)
{
    if (events_.size() >= MAX_EVENTS) {
        beginRemoveRows(QModelIndex(), 0, DROP_CHUNK - 1);
        events_.remove(0, DROP_CHUNK);
        endRemoveRows();
        dropped_ += DROP_CHUNK;
        emit dropped_changed(dropped_);
    }
    const int row = int(events_.size());
    beginInsertRows(QModelIndex(), row, row);
    events_.append({QDateTime::currentDateTime(), elapsed_s, channel, text});
    endInsertRows();
}

void EventLog::dev_conn()
{
    connected_ = true;
    first_cfg_ = true;
    add(NO_CHANNEL, tr("Instrument connected"));
}

void EventLog::dev_disc()
{
    // A connection that failed before the instrument identified itself was
    // never announced as connected.
    if (!connected_)
        return;
    connected_ = false;
    cfg_flagged_[0] = cfg_flagged_[1] = false;
    add(NO_CHANNEL, tr("Instrument disconnected"));
}

// The device link announces a change of the test state only when the
// instrument's configuration shows it. Start and Stop from the PC flip the
// state when the instrument acknowledges them, without a signal of their
// own; such a change is seen at whatever the link announces next.
void EventLog::check_test_state(Cause cause)
{
    const bool now = device_->common.test_running != 0;
    if (now == running_)
        return;
    running_ = now;
    if (cause == Cause::FOUND) {
        // Changed while no connection was open: when is not known, only
        // the test time that the next results carry.
        found_pending_ = true;
        return;
    }
    found_pending_ = false;
    if (now) {
        elapsed_ = 0;
        add(NO_CHANNEL, cause == Cause::PC ? tr("Test started from the PC") : tr("Test started on the instrument"), 0);
        started_ = events_.last().when;
    } else if (cause == Cause::PC) {
        add(NO_CHANNEL, tr("Test stopped from the PC"));
    } else {
        log_stop();
    }
}

void EventLog::log_stop()
{
    const bool timed_out = timed_test_done(device_->common, elapsed_);
    add(NO_CHANNEL, timed_out ? tr("Timed test finished") : tr("Test stopped on the instrument"));
}

void EventLog::dev_test_state() { check_test_state(Cause::INSTRUMENT); }

QByteArray EventLog::settings_bytes(int channel) const
{
    // Without the test-state bit of channel A, and without the checksum that follows it.
    QByteArray b = device_->raw_cfg[channel].chopped(qMin<qsizetype>(1, device_->raw_cfg[channel].size()));
    if (channel == 0 && b.size() > 3)
        b[3] = char(b[3] & ~0x10);
    return b;
}

void EventLog::cfg_rcv(uchar channel)
{
    const int ch = channel == 0 ? 0 : 1;
    if (ch == 0) {
        const bool first = first_cfg_;
        first_cfg_ = false;
        check_test_state(first ? Cause::FOUND : Cause::PC);
    }
    // Only a change the instrument itself announced, and only while the
    // test runs: a timed test's end announces itself the same way.
    const QByteArray now = settings_bytes(ch);
    if (cfg_flagged_[ch] && running_ && !cfg_seen_[ch].isEmpty() && now != cfg_seen_[ch])
        add(ch, tr("Settings changed on the instrument"));
    cfg_flagged_[ch] = false;
    cfg_seen_[ch] = now;
}

void EventLog::res_rcv(uchar channel)
{
    const int ch = channel == 0 ? 0 : 1;
    const ChannelResults& r = device_->results[ch];
    elapsed_ = r.elapsed_s;
    check_test_state(Cause::PC);
    elapsed_ = r.elapsed_s; // a start just seen is this test's: the results already count it
    if (found_pending_) {
        found_pending_ = false;
        if (running_) {
            add(NO_CHANNEL, tr("Test found running on the instrument"));
            started_ = events_.last().when.addSecs(-qint64(elapsed_));
        }
        else
            log_stop();
    }
    if (running_ && (r.status_flags & 0x01))
        cfg_flagged_[ch] = true;
    log_alarms(ch);
}

void EventLog::log_alarms(int ch)
{
    const quint8 now = device_->results[ch].alarms;
    const quint8 changed = quint8(now ^ alarms_[ch]);
    for (int i = 0; i < 8; ++i) {
        const int bit = 7 - i;
        if ((changed >> bit) & 1)
            add(ch, ((now >> bit) & 1 ? tr("Alarm %1 raised") : tr("Alarm %1 cleared")).arg(ALARM_NAMES[i]));
    }
    alarms_[ch] = now;
}

void EventLog::records_cleared()
{
    beginResetModel();
    events_.clear();
    endResetModel();
    started_ = QDateTime();
    if (dropped_ != 0) {
        dropped_ = 0;
        emit dropped_changed(0);
    }
    // A new test's log shows the alarms present at its start: they are
    // logged again with its first results.
    alarms_[0] = alarms_[1] = 0;
}

void EventLog::settings_sent()
{
    QObject* panel = sender();
    if (!panel)
        return;
    check_test_state(Cause::PC);
    if (!running_)
        return;
    const QByteArray signal = panel->metaObject()->method(senderSignalIndex()).name();
    const char* group = nullptr;
    for (const SettingsGroup& g : SETTINGS_GROUPS)
        if (signal == g.signal)
            group = g.text;
    if (!group)
        return;
    const int ch = panels_.value(panel, NO_CHANNEL);
    const QString text = tr("Settings changed: %1").arg(tr(group));
    if (!events_.isEmpty()) {
        const LogEvent& last = events_.last();
        if (last.channel == ch && last.text == text && last.when.msecsTo(QDateTime::currentDateTime()) < SAME_CHANGE_MS)
            return;
    }
    add(ch, text);
}

int EventLog::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(events_.size()); }

int EventLog::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : COLUMNS; }

QString EventLog::cell_text(const LogEvent& e, int column)
{
    switch (column) {
    case COL_TIME: return e.when.toString("yyyy-MM-dd hh:mm:ss");
    case COL_ELAPSED: return elapsed_text(e.elapsed_s);
    case COL_CHANNEL: return channel_name(e.channel);
    case COL_EVENT: return e.text;
    default: return QString();
    }
}

QString EventLog::column_name(int column)
{
    switch (column) {
    case COL_TIME: return tr("Date and time");
    case COL_ELAPSED: return tr("Elapsed");
    case COL_CHANNEL: return tr("Channel");
    case COL_EVENT: return tr("Event");
    default: return QString();
    }
}

QVariant EventLog::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= events_.size() || index.column() >= COLUMNS)
        return QVariant();
    return cell_text(events_.at(index.row()), index.column());
}

QVariant EventLog::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section < 0 || section >= COLUMNS)
        return QVariant();
    return column_name(section);
}
