#pragma once
// One histogram chart: five bars per record (bit, code, frame, CRC-4 and
// E-bit errors of the record's interval) for one channel. draw_chart is the
// single painting routine used on screen, for the PNG export and for the
// chart pages of the PDF report.

#include "proto/model.h"

#include <QColor>
#include <QList>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class NumericGlyphs;
class QMenu;
class QPainter;
class SaveChartDialog;

class ChartWidget : public QWidget {
    Q_OBJECT
public:
    ChartWidget(const QList<TableRecord>* records, int channel, QWidget* parent = nullptr);
    ~ChartWidget() override;

    // Geometry of the chart, screen and printer.
    static constexpr int SCREEN_MARGIN = 40;
    static constexpr int SCREEN_SLOT = 60;
    static constexpr int SCREEN_UNIT = 20;
    static constexpr int PRINT_MARGIN = 950;
    static constexpr int PRINT_SLOT = 750;
    static constexpr int PRINT_UNIT = 475;
    // The y scale never goes below this.
    static constexpr quint32 MIN_SCALE = 50;

    // Draws the chart of `records` into `area` of whatever device `painter`
    // is open on. `first` is the record in the leftmost slot; `print` selects
    // the printer geometry; `channel` selects the counters (0 = A, otherwise
    // B), independently of the widget's own channel. The report passes its
    // own copy of the records, so that its pages cannot change under it.
    void draw_chart(const QRect& area, QPainter& painter, int first, bool print, int channel,
                    const QList<TableRecord>& records);
    // The same, of the chart's own records (the device link's list).
    void draw_chart(const QRect& area, QPainter& painter, int first, bool print, int channel)
    {
        draw_chart(area, painter, first, print, channel, *records_);
    }
    // Slots (one per record) across a chart `width` pixels wide.
    static int slot_count(int width, bool print);
    // Colour of bar `b` of a record (0 bit, 1 code, 2 frame, 3 CRC-4, 4 E-bit
    // errors), for a legend beside the chart.
    static QColor bar_colour(int b);

    // The y scale draw_chart uses for `channel`: the largest bar value,
    // at least MIN_SCALE. Kept incrementally, so it costs O(1) per call
    // while records are only appended.
    quint32 scale(int channel) { return scale(channel, *records_); }
    // The same for another list; one other list is kept track of at a time.
    quint32 scale(int channel, const QList<TableRecord>& records);
    // Forget the kept scales; the next use walks the whole list once.
    void reset_scale();

    int first_record() const { return first_; }
    int channel() const { return channel_; }
    QMenu* menu() const { return menu_; }

    // Seams, replaced by tests so that nothing modal blocks.
    // Runs the export dialog; true when the user accepted it.
    static std::function<bool(SaveChartDialog&)> exec_save_dialog;
    // Shows a warning (title, text) to the user.
    static std::function<void(const QString&, const QString&)> warning_box;

public slots:
    void draw_from_num(int n);
    void contextMenu(QPoint p);
    void saveChart();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Writes the chart as a PNG image of the given size; false on failure.
    bool write_png(const QString& file, int width, int height);

    struct ScaleCache {
        const QList<TableRecord>* list = nullptr; // the list kept track of
        bool valid = false;
        qsizetype size = 0;       // records covered by `max_tail`
        quint32 max_tail = 0;     // largest candidate of positions 2 .. size-1
        TableRecord last;         // copy of record size-1, to notice a refilled list
    };
    // Records that the device link may still replace in place: the first two
    // (record 0 while it is current) and the last two (the record in progress,
    // and the one before it until its stored values have come).
    static constexpr qsizetype LIVE_TAIL = 2;
    static quint32 tail_candidate(const QList<TableRecord>& recs, int channel, qsizetype pos);

    const QList<TableRecord>* records_;
    QMenu* menu_;
    int first_ = 0;
    int channel_;
    ScaleCache cache_[2];       // the chart's own records
    ScaleCache other_cache_[2]; // a copy drawn for the report
    std::unique_ptr<NumericGlyphs> print_glyphs_;
};
