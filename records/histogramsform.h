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

private:
    Device* device_;
    ChartWidget* chart_a_;
    ChartWidget* chart_b_;
    QScrollBar* scroll_;
};
