#pragma once
// Settings common to the whole instrument: test sequence and user words, the
// joint transmit/receive switch and the measurement time. Edits the model's
// CommonSettings in place and asks for the commands through its signals.

#include <QFrame>
#include <QString>

class Device;
class QPushButton;

namespace Ui {
class SettingsFrame;
}

class SettingsFrame : public QFrame {
    Q_OBJECT
public:
    explicit SettingsFrame(Device* device, QWidget* parent = nullptr);
    ~SettingsFrame() override;

    // Reloads every widget from the model; sends nothing.
    void update_form();
    // The measurement time can be changed only while no test runs.
    void update_test_state();

    // Style sheets of a bit button showing 1 and 0.
    static const QString GREEN_STYLE;
    static const QString RED_STYLE;

signals:
    void rxtx_jointly_sw(bool state);
    void rxtx_jointly_usr(bool state);
    void set_base_settings();
    void set_seq_settings();

private slots:
    // Form only: follow programmatic changes as well as the user's.
    void cbPCPIndexChanged(int index);
    void cbRxTxSettingsToggled(bool state);
    void rDateTimeToggled(bool state);
    // User action: write the model, then emit.
    void cbPCPActivated(int index);
    void bXXClicked();
    void lWordSwitchLoopTextEdited(const QString& text);
    void cbRxTxSettingsClicked(bool state);
    void rCurrentClicked(bool state);
    void rDateTimeClicked(bool state);
    void lDayTextEdited(const QString& text);
    void lHourTextEdited(const QString& text);
    void lMinTextEdited(const QString& text);
    // Editing ended: the field shows what the model holds and was sent.
    void lWordSwitchLoopEditingFinished();
    void lDayEditingFinished();
    void lHourEditingFinished();
    void lMinEditingFinished();

private:
    void connect_bit_buttons(QWidget* frame);
    void show_bits(QWidget* frame, quint16 value);
    static void show_bit(QPushButton* button, bool set);
    bool parse_edit(const QString& text, quint8* value) const;

    Ui::SettingsFrame* ui_;
    Device* device_;
};
