#pragma once
// One unattended test over the device link: find the instrument, load the
// setup, start, follow the test to its end, stop it, fetch every record,
// write the report and the CSV files, print the outcome, and end the program
// with a status that says how it went.

#include "cli/options.h"
#include "cli/progress.h"
#include "cli/summary.h"

#include <QObject>
#include <QTimer>

class ChartWidget;
class Device;
class EventLog;

namespace cli {

class Runner : public QObject {
    Q_OBJECT
public:
    explicit Runner(const Options& options, QObject* parent = nullptr);
    ~Runner() override;

    // Starts looking for the instrument; the program ends through
    // QCoreApplication::exit() with the run's status.
    void start();

    // Called from a signal handler: only remembers the signal, which is acted
    // on from the event loop.
    static void note_signal(int signal);

private:
    enum class Phase { FINDING, READING, STARTING, RUNNING, STOPPING, FETCHING, DONE };

    void dev_conn();
    void dev_disc();
    void dev_test_state();
    void cfg_rcv(uchar channel);
    void res_rcv(uchar channel);
    void check_signal();

    // Both configurations of a connection have been read.
    void configurations_read();
    void start_test();
    void stop(End why);
    void test_ended();
    void check_fetched();
    void link_lost();
    // Writes the files, prints the outcome and ends the program; `status`
    // -1 takes it from the verdicts.
    void finish(End end, int status = -1);
    void fail(int status, const QString& message);
    void write_files(Outcome* out);

    Options o_;
    Device* dev_;
    EventLog* log_;
    ChartWidget* charts_[2];
    Progress progress_;
    Phase phase_ = Phase::FINDING;
    End end_ = End::INSTRUMENT;   // until the runner stops the test itself
    quint32 duration_s_ = 0;      // 0: the test runs until it is stopped
    int signal_ = 0;              // the first signal acted on
    int signals_handled_ = 0;
    bool start_sent_ = false;
    bool stop_sent_ = false;
    bool configs_pending_ = false;   // a connection's configurations are being read
    // Fetching is done once two polls in a row found nothing left to fetch
    // and the records unchanged between them.
    quint64 records_version_ = 0;
    quint64 seen_version_ = 0;
    bool settled_once_ = false;
    QTimer find_timer_;
    QTimer link_timer_;
    QTimer signal_timer_;
};

} // namespace cli
