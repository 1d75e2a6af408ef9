#pragma once
// G.821 and G.826/M.2100 performance figures of one channel, derived from the
// instrument's second counts and the test time.

#include <QWidget>

class Device;

namespace Ui {
class G821Form;
}

class G821Form : public QWidget {
    Q_OBJECT
public:
    G821Form(Device* device, int channel, QWidget* parent = nullptr);
    ~G821Form() override;

    void update_results();

    Ui::G821Form* ui;

private:
    void show_verdicts();

    Device* device_;
    int channel_;
};
