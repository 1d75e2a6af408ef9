#pragma once
// Histograms window: the charts of channel A (above) and B (below), a legend
// and one scroll bar that chooses the first record shown in both.

#include <QWidget>

class ChartWidget;
class Device;
class QScrollBar;

namespace Ui {
class HistogramsForm;
}

class HistogramsForm : public QWidget {
    Q_OBJECT
public:
    explicit HistogramsForm(Device* device, QWidget* parent = nullptr);
    ~HistogramsForm() override;

    // Repaints both charts now (before the main window empties the records).
    void repaint_charts();

    ChartWidget* chartA() const { return chart_a_; }
    ChartWidget* chartB() const { return chart_b_; }
    QScrollBar* scrollBar() const { return scroll_; }

    Ui::HistogramsForm* ui;

public slots:
    void draw_rec();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    // The scroll bar moved, by the user or by following the records.
    void scroll_moved(int value);

private:
    // The first record shown when the newest one is in the rightmost slot.
    int follow_position() const;

    Device* device_;
    // The newest record is in view: new ones are brought into view as they come.
    bool following_ = true;
    ChartWidget* chart_a_;
    ChartWidget* chart_b_;
    QScrollBar* scroll_;
};
