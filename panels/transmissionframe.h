#pragma once
// Transmitter settings of one channel: clock and frequency offset, line code,
// framing, timeslots, error and defect insertion, jitter (channel A only).
// Edits the channel's TxSettings in place and asks for each settings group
// through its own signal.

#include <QFrame>

class Device;

namespace Ui {
class TransmissionFrame;
}

class TransmissionFrame : public QFrame {
    Q_OBJECT
public:
    TransmissionFrame(Device* device, int channel, QWidget* parent = nullptr);
    ~TransmissionFrame() override;

    // Reloads every widget from the model; sends nothing.
    void update_form();

    // Codes of the error types for the items of cbErrType, and back.
    static quint8 err_code_of_index(int index);
    static int err_index_of_code(quint8 code);

signals:
    void update_rcv_form();
    void set_seq_settings();
    void set_freq_settings();
    void set_linear_settings();
    void set_error_settings();
    void set_defect_settings();
    void set_cycle_settings();
    void set_channel_settings();
    void set_jitter_settings();

public slots:
    void rxtx_jointly_sw(bool state);

private slots:
    // Form only.
    void cbFreqTypeIndexChanged(int index);
    void cbFreqValIndexChanged(int index);
    void cbLoopToggled(bool state);
    void cbCASToggled(bool state);
    void cb16Toggled(bool state);
    void cbSyncSignalToggled(bool state);
    void cbErrInputToggled(bool state);
    void cbErrTypeIndexChanged(int index);
    void cbErrAutoIndexChanged(int index);
    void cbInputDefectToggled(bool state);
    void cbJitterToggled(bool state);
    // User action: write the model, then emit.
    void cbFreqTypeActivated(int index);
    void cbFreqValActivated(int index);
    void lFreqValTextEdited(const QString& text);
    void cbCodeActivated(int index);
    void cbInversionClicked(bool state);
    void cbLoopClicked(bool state);
    void cbCASClicked(bool state);
    void cbCRC4Clicked(bool state);
    void cbXXClicked(bool state);
    void cbSyncSignalClicked(bool state);
    void cbErrInputClicked(bool state);
    void cbErrTypeActivated(int index);
    void cbErrAutoActivated(int index);
    void cbErrValActivated(int index);
    void bErrInputClicked();
    void cbInputDefectClicked(bool state);
    void cbDefectTypeActivated(int index);
    void cbJitterClicked(bool state);
    void lAmplitudeTextEdited(const QString& text);
    void lFrequencyTextEdited(const QString& text);
    // Editing ended: the field shows what the model holds and was sent.
    void lFreqValEditingFinished();
    void lAmplitudeEditingFinished();
    void lFrequencyEditingFinished();

private:
    void apply_rate_rule();
    void joint_notice();

    Ui::TransmissionFrame* ui_;
    int channel_;
    bool sync_signal_; // sync-signal mode (channel B)
    bool joint_; // receivers follow the transmitters
    Device* device_;
};
