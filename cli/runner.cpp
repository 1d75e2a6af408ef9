#include "cli/runner.h"

#include "csv/csvexport.h"
#include "device/device.h"
#include "events/eventlog.h"
#include "proto/formats.h"
#include "records/chartwidget.h"
#include "report/pdfcreator.h"

#include <QCoreApplication>
#include <QDir>

#include <csignal>

namespace cli {

namespace {

// Written by the signal handler, read from the event loop.
volatile std::sig_atomic_t last_signal = 0;
volatile std::sig_atomic_t signal_count = 0;

constexpr int SIGNAL_POLL_MS = 50;

quint32 limit_s(const CommonSettings& c)
{
    return c.timed_measurement ? quint32(c.meas_days) * 86400u + c.meas_hours * 3600u + c.meas_minutes * 60u : 0;
}

QString seconds(int ms) { return QString::number(ms / 1000.0); }

} // namespace

void Runner::note_signal(int signal)
{
    last_signal = signal;
    signal_count = signal_count + 1;
}

Runner::Runner(const Options& options, QObject* parent)
    : QObject(parent),
      o_(options),
      dev_(new Device(this)),
      log_(new EventLog(dev_, this)),
      progress_(options.json ? stderr : stdout)
{
    dev_->allocation_pct = o_.allocation_pct;
    // The report's histograms are drawn by the charts, never shown.
    for (int ch = 0; ch < 2; ++ch)
        charts_[ch] = new ChartWidget(&dev_->records, ch);
    // Nobody is there to close a box: two instruments end the run.
    Device::warning_box = [this](const QString& text) { fail(NO_INSTRUMENT, text); };

    connect(dev_, &Device::dev_conn, this, &Runner::dev_conn);
    connect(dev_, &Device::dev_disc, this, &Runner::dev_disc);
    connect(dev_, &Device::dev_test_state, this, &Runner::dev_test_state);
    connect(dev_, &Device::cfg_rcv, this, &Runner::cfg_rcv);
    connect(dev_, &Device::res_rcv, this, &Runner::res_rcv);
    connect(dev_, &Device::table_rec_rcv, this, [this] { ++records_version_; });
    connect(dev_, &Device::records_cleared, this, [this] { ++records_version_; });
    connect(dev_, &Device::dev_open_failed, this, [this](const QString& why) {
        fail(NO_INSTRUMENT, QStringLiteral("the instrument was found but cannot be opened")
                                + (why.isEmpty() ? QString() : QStringLiteral(": ") + why));
    });

    find_timer_.setSingleShot(true);
    find_timer_.setInterval(o_.find_timeout_ms);
    connect(&find_timer_, &QTimer::timeout, this, [this] {
        fail(NO_INSTRUMENT, QStringLiteral("no instrument found within %1 s").arg(seconds(o_.find_timeout_ms)));
    });
    link_timer_.setSingleShot(true);
    link_timer_.setInterval(o_.link_timeout_ms);
    connect(&link_timer_, &QTimer::timeout, this, &Runner::link_lost);
    signal_timer_.setInterval(SIGNAL_POLL_MS);
    connect(&signal_timer_, &QTimer::timeout, this, &Runner::check_signal);
}

Runner::~Runner()
{
    delete charts_[0];
    delete charts_[1];
}

void Runner::start()
{
    progress_.say(QStringLiteral("Looking for the instrument..."));
    find_timer_.start();
    signal_timer_.start();
}

void Runner::dev_conn()
{
    find_timer_.stop();
    link_timer_.stop();
    if (phase_ == Phase::DONE)
        return;
    progress_.say(QStringLiteral("Connected to %1").arg(instrument_name(dev_->device_id)));
    dev_->get_cfg(0);
    dev_->get_cfg(1);
    configs_pending_ = true;
    settled_once_ = false;
    // A start whose acknowledgement came is a running test; without it, read
    // the state again and take it from there.
    if (phase_ == Phase::FINDING || (phase_ == Phase::STARTING && !dev_->common.test_running))
        phase_ = Phase::READING;
    else if (phase_ == Phase::STARTING)
        phase_ = Phase::RUNNING;
    // A stop written just before the link went may never have arrived.
    if (phase_ == Phase::STOPPING)
        stop_sent_ = false;
}

void Runner::dev_disc()
{
    configs_pending_ = false;
    settled_once_ = false;
    if (phase_ == Phase::DONE || phase_ == Phase::FINDING || link_timer_.isActive())
        return;
    progress_.say(QStringLiteral("Link lost; waiting up to %1 s for the instrument").arg(seconds(o_.link_timeout_ms)));
    link_timer_.start();
}

void Runner::link_lost()
{
    const QString text = QStringLiteral("the link was lost and not regained within %1 s").arg(seconds(o_.link_timeout_ms));
    if (!start_sent_) {
        fail(LINK_LOST, text);
        return;
    }
    // The test goes on on the instrument (up to its measurement time); what
    // was received is written all the same.
    progress_.clear();
    usb::printError(text);
    finish(End::LINK_LOST, LINK_LOST);
}

void Runner::configurations_read()
{
    if (phase_ != Phase::READING)
        return;
    if (!dev_->common.test_running) {
        start_test();
    } else if (start_sent_) {
        // Ours, started before the link went.
        phase_ = Phase::RUNNING;
    } else {
        // Someone else's test, whose results a new start would throw away.
        fail(USAGE, QStringLiteral("a test is already running on the instrument: stop it there or in kelm-remote, "
                                   "then run again"));
    }
}

void Runner::start_test()
{
    Setup s = o_.has_setup ? o_.setup : setup_of(*dev_);
    if (o_.duration_s)
        measurement_time(o_.duration_s, &s.common);
    if (o_.has_setup) {
        QString error;
        if (!dev_->send_setup(s, &error)) {
            fail(USAGE, error);
            return;
        }
    } else if (o_.duration_s) {
        CommonSettings& c = dev_->common;
        c.timed_measurement = s.common.timed_measurement;
        c.meas_days = s.common.meas_days;
        c.meas_hours = s.common.meas_hours;
        c.meas_minutes = s.common.meas_minutes;
        dev_->set_base_setting();
    }
    duration_s_ = o_.duration_s ? o_.duration_s : limit_s(dev_->common);
    // Queued after the settings, so the instrument has them all when it starts.
    dev_->start_stop_test();
    start_sent_ = true;
    phase_ = Phase::STARTING;
}

void Runner::cfg_rcv(uchar channel)
{
    if (channel != 0) {
        if (configs_pending_) {
            configs_pending_ = false;
            configurations_read();
        }
        return;
    }
    const bool running = dev_->common.test_running != 0;
    switch (phase_) {
    case Phase::STARTING:
        // Replies to requests queued before the start still show it stopped.
        if (running) {
            phase_ = Phase::RUNNING;
            progress_.say(QStringLiteral("Test started"));
        }
        break;
    case Phase::RUNNING:
    case Phase::STOPPING:
        if (!running)
            test_ended();
        else if (phase_ == Phase::STOPPING && !stop_sent_)
            stop(end_);
        break;
    default:
        break;
    }
}

void Runner::dev_test_state()
{
    // The instrument contradicts the acknowledged start: it is not running,
    // already finished a very short test, or refused it.
    if (phase_ == Phase::STARTING && !dev_->common.test_running)
        test_ended();
}

void Runner::res_rcv(uchar channel)
{
    const ChannelResults& r = dev_->results[channel];
    if (r.status_flags & 1) {
        // As the main window does. It may be the end of a timed test: decide
        // on a stop only once that configuration has been read.
        dev_->get_cfg(channel);
        if (channel == 0)
            return;
    }
    if (channel == 0) {
        if (phase_ == Phase::RUNNING && duration_s_ > 0 && r.elapsed_s >= duration_s_)
            stop(End::DURATION);
        return;
    }
    if (phase_ == Phase::RUNNING || phase_ == Phase::STOPPING)
        progress_.show(*dev_, duration_s_);
    else if (phase_ == Phase::FETCHING)
        check_fetched();
}

void Runner::stop(End why)
{
    end_ = why;
    phase_ = Phase::STOPPING;
    // The start/stop command toggles; it is a stop only while the model says
    // the test runs, and only once per connection.
    if (stop_sent_ || !dev_->connected || !dev_->common.test_running)
        return;
    dev_->start_stop_test();
    stop_sent_ = true;
}

void Runner::test_ended()
{
    phase_ = Phase::FETCHING;
    settled_once_ = false;
    progress_.say(QStringLiteral("Test stopped; fetching the records"));
}

// Called after each results poll while fetching: once two polls in a row find
// no record request left and the list unchanged between them, the poll in
// between, answered after the stop, found no record the list lacks.
void Runner::check_fetched()
{
    if (!dev_->connected || !dev_->rec_queue.isEmpty() || dev_->checking_records()) {
        settled_once_ = false;
        return;
    }
    if (settled_once_ && records_version_ == seen_version_) {
        finish(end_, signal_ ? SIGNALLED + signal_ : -1);
        return;
    }
    settled_once_ = true;
    seen_version_ = records_version_;
}

void Runner::check_signal()
{
    if (signals_handled_ == signal_count)
        return;
    signals_handled_ = signal_count;
    if (!signal_)
        signal_ = last_signal;
    const int status = SIGNALLED + signal_;
    switch (phase_) {
    case Phase::FINDING:
    case Phase::READING:
        if (!start_sent_) {
            fail(status, QStringLiteral("interrupted before the test started"));
            break;
        }
        [[fallthrough]];
    case Phase::STARTING:
    case Phase::RUNNING:
        if (dev_->connected) {
            progress_.say(QStringLiteral("Interrupted: stopping the test (again to write the files at once)"));
            stop(End::INTERRUPTED);
            break;
        }
        [[fallthrough]];
    case Phase::STOPPING:
    case Phase::FETCHING:
        finish(End::INTERRUPTED, status);
        break;
    case Phase::DONE:
        break;
    }
}

void Runner::write_files(Outcome* out)
{
    if (!o_.report.isEmpty()) {
        PDFCreator pdf;
        pdf.set_model(dev_);
        pdf.set_charts(charts_[0], charts_[1]);
        pdf.set_event_log(log_);
        PDFCreator::Contents c;
        c.file = o_.report;
        c.table = true;
        c.chart = true;
        c.events = true;
        const QStringList failed = pdf.write_report(c);
        for (const QString& name : PDFCreator::file_names(c)) {
            if (!failed.contains(name)) {
                out->written << QDir::toNativeSeparators(name);
                continue;
            }
            out->unwritten << QDir::toNativeSeparators(name);
            usb::printError(QStringLiteral("%1: could not be written").arg(QDir::toNativeSeparators(name)));
        }
    }
    if (!o_.csv_prefix.isEmpty()) {
        for (csv::Kind k : {csv::Kind::RECORDS, csv::Kind::RESULTS, csv::Kind::EVENTS}) {
            const QString name = csv::file_name(o_.csv_prefix, k);
            QString error;
            if (csv::write_file(name, k, *dev_, log_->events(), &error)) {
                out->written << QDir::toNativeSeparators(name);
            } else {
                out->unwritten << QDir::toNativeSeparators(name);
                usb::printError(error);
            }
        }
    }
}

void Runner::finish(End end, int status)
{
    if (phase_ == Phase::DONE)
        return;
    phase_ = Phase::DONE;
    progress_.clear();
    Outcome out;
    // A test the instrument ended at or after its duration ran its course.
    out.end = end == End::INSTRUMENT && duration_s_ > 0 && dev_->results[0].elapsed_s >= duration_s_ ? End::DURATION
                                                                                                     : end;
    write_files(&out);
    const QByteArray text = o_.json ? summary_json(*dev_, out) : summary_text(*dev_, out).toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
    if (status < 0)
        status = !out.unwritten.isEmpty() ? USAGE : passed(*dev_) ? PASSED : FAILED;
    QCoreApplication::exit(status);
}

void Runner::fail(int status, const QString& message)
{
    if (phase_ == Phase::DONE)
        return;
    phase_ = Phase::DONE;
    progress_.clear();
    usb::printError(message);
    QCoreApplication::exit(status);
}

} // namespace cli
