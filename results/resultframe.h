#pragma once
// Live results of one channel: alarms, error counts and ratios, jitter
// (channel A), alarm statistics, and the channel's G.821 / G.826 window.

#include <QFrame>

class Device;
class G821Form;

namespace Ui {
class ResultFrame;
}

class ResultFrame : public QFrame {
    Q_OBJECT
public:
    ResultFrame(Device* device, int channel, QWidget* parent = nullptr);
    ~ResultFrame() override;

    void update_results();

    G821Form* g821() const { return g821_; }

    Ui::ResultFrame* ui;

public slots:
    void bG821Clicked();

private:
    Device* device_;
    int channel_;
    G821Form* g821_;
};
