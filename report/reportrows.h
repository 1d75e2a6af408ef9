#pragma once
// The main report file and the records table are grids of rows of one height
// on printer pages. A block of the main file is first built as a list of rows
// and then drawn, so the room it takes is counted from the rows it draws.

#include <QPagedPaintDevice>
#include <QString>

#include <functional>

// Where the next row goes, and when a page is full: rows `row_h` pixels high
// (the scale) are laid from `top` down while they end no lower than `bottom`,
// both fractions of the page height that the file's layout fixes. Without a
// device it only counts pages: a layout pass that draws nothing, so that the
// page count is known before the first page is drawn.
class RowCursor {
public:
    RowCursor(QPagedPaintDevice* device, int top, int bottom, int row_h)
        : y(top), row_h(row_h), device_(device), top_(top), bottom_(bottom)
    {
    }

    int y;            // top of the next row
    const int row_h;
    int page = 1;     // the page the next row goes on, from 1
    // Called with the page number when a page is left for the next one.
    std::function<void(int page)> page_done;

    // Rows of a whole page.
    int rows_per_page() const { return (bottom_ - top_) / row_h; }
    // Whether `rows` more rows end on this page; no rows always do.
    bool fits(int rows) const { return rows <= 0 || y + rows * row_h <= bottom_; }
    void newPage()
    {
        if (page_done)
            page_done(page);
        if (device_)
            device_->newPage();
        ++page;
        y = top_;
    }
    // A new page unless `rows` more rows fit on this one; true if it took one.
    bool keep(int rows)
    {
        if (fits(rows))
            return false;
        newPage();
        return true;
    }
    void next() { y += row_h; }

private:
    QPagedPaintDevice* device_;
    const int top_;
    const int bottom_;
};

// One row of the main file: full-width cells (header, comment line), a label
// and a value (pair, check box), or three or four cells, or a line of the
// event log; a blank row is empty.
struct ReportRow {
    enum Kind { BLANK, HEADER, LINE, PAIR, CHECK, THREE, FOUR, LOG };

    Kind kind = BLANK;
    QString text[4];
    bool flag = false;  // the check box of a check row; the column names of the log
    int keep = 0;       // rows that must fit on the page below its top, else it starts a new one

    static ReportRow blank() { return {}; }
    static ReportRow header(const QString& text, int rows_needed) { return {HEADER, {text}, false, rows_needed}; }
    // A line of the comments; lines may run over several pages.
    static ReportRow line(const QString& text) { return {LINE, {text}, false, 1}; }
    static ReportRow pair(const QString& label, const QString& value) { return {PAIR, {label, value}}; }
    static ReportRow check(const QString& label, bool flag) { return {CHECK, {label}, flag}; }
    static ReportRow three(const QString& t1, const QString& t2, const QString& t3) { return {THREE, {t1, t2, t3}}; }
    static ReportRow four(const QString& t1, const QString& t2, const QString& t3, const QString& t4)
    {
        return {FOUR, {t1, t2, t3, t4}};
    }
    // An event, or with `names` the log's column names, which every page the
    // log runs onto repeats above its events.
    static ReportRow log(const QString& t1, const QString& t2, const QString& t3, const QString& t4, bool names)
    {
        return {LOG, {t1, t2, t3, t4}, names, 1};
    }
};
