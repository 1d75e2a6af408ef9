#pragma once
// Receiver settings of one channel: line code and inversion, extra gain, long
// line, framing and timeslots, plus the live level and frequency readings.
// In joint mode it follows the same channel's transmitter settings.

#include <QFrame>

class Device;

namespace Ui {
class ReceiveFrame;
}

class ReceiveFrame : public QFrame {
    Q_OBJECT
public:
    ReceiveFrame(Device* device, int channel, QWidget* parent = nullptr);
    ~ReceiveFrame() override;

    // Reloads every widget from the model; sends nothing.
    void update_form();
    // Shows the received signal's frequency and level from the channel's results.
    void show_signal();

signals:
    void set_seq_settings();
    void set_linear_settings();
    void set_cycle_settings();
    void set_channel_settings();

public slots:
    void rxtx_jointly_sw(bool state);
    void rxtx_jointly_usr(bool state);
    void update_rcv_form();

private slots:
    // Form only.
    void cbLoopToggled(bool state);
    void cbCASToggled(bool state);
    void cb16Toggled(bool state);
    // User action: write the model, then emit.
    void cbCodeActivated(int index);
    void cbInversionClicked(bool state);
    void cbLoopClicked(bool state);
    void cbCASClicked(bool state);
    void cbCRC4Clicked(bool state);
    void cbXXClicked(bool state);
    void cbExtraAmplActivated(int index);
    void cbLongLineClicked(bool state);

private:
    void copy_from_transmitter();

    Ui::ReceiveFrame* ui_;
    int channel_;
    bool joint_; // receivers follow the transmitters
    Device* device_;
};
