#pragma once
// Tool window that shows the event log, newest last, and offers its export.

#include <QWidget>

class EventLog;

namespace Ui {
class EventLogForm;
}

class EventLogForm : public QWidget {
    Q_OBJECT
public:
    explicit EventLogForm(EventLog* log, QWidget* parent = nullptr);
    ~EventLogForm() override;

    Ui::EventLogForm* ui;

signals:
    // The user asked to write the log to a CSV file.
    void export_csv();

private:
    void show_dropped(int dropped);

    EventLog* log_;
    bool at_end_ = true;
};
