// What pelmorix-scan takes from the viewer: a cell log read by the viewer's
// own reader and conversion, as its plot loop reads it, drawing nothing; and
// limits with which the viewer's own mapping puts every value of the log
// inside its own cell box.
#ifndef PELMORIX_SCAN_H
#define PELMORIX_SCAN_H

#include "viewer.h"

// The plot area of the window the viewer opens (a 640 x 480 client area,
// text 9 pixels high): the limits are worked out for boxes of this area.
// Bigger boxes only widen the room they leave.
constexpr int kScanPlotWidth = 637;
constexpr int kScanPlotHeight = 451;

// How often something came up, and the line (counting the heading as line
// 1) where it first did; 0 and 0 when it never did.
struct LineTally {
    long long count = 0;
    long long first_line = 0;
};

// A log's shape, as the viewer would draw it: the rows of the last line, if
// it has no line end, are not part of it, since the viewer does not draw it.
struct LogShape {
    int grid = 0;                  // values of the first row: box columns, and box rows
    long long blocks = 0;          // time blocks with at least one row drawn
    double last_time = 0;          // the last of them's time; the first's is always 0
    long long values = 0;          // values drawn (at most kMaxRowValues a row)
    double smallest = 0;           // the smallest and largest of them, infinities included
    double largest = 0;
    double smallest_finite = 0;    // the same among the finite ones (none: both 0)
    double largest_finite = 0;
    LineTally infinite;            // values beyond a double's range: never inside a box
    LineTally not_numbers;         // tokens with no decimal number at their start, read as 0
    LineTally irregular_rows;      // rows whose number of values is not the first row's
    LineTally long_lines;          // lines of more than kLineChars characters, cut there
    LineTally long_rows;           // rows of more than kMaxRowValues values, cut there
    long long unended_line = 0;    // the last line, when it has characters but no line end
    int unended_values = 0;        // the values on it, which are not drawn
};

// Reads the whole log from `stream` (opened with open_cell_log or
// open_cell_log_file) into `shape`; false, with `shape` as far as it got,
// when the viewer would refuse the log (print_file_error's case). A
// compressed log found damaged ends where the viewer's reading ends, with
// the stream's `damaged` set.
bool scan_cell_log(CellLogStream& stream, LogShape& shape);

// Whether the token in [token, end) has a decimal number at its start, as
// the conversion reads it (white space, then an optional sign, then a digit
// or a point and a digit); one without is read as 0.
bool token_has_number(const char* token, const char* end);

// Four limits for the command line, each as its text and as the double the
// viewer reads that text as.
struct SuggestedLimits {
    double minimox = 0;
    double minimoy = 0;
    double maximox = 0;
    double maximoy = 0;
    char text[4][32] = {};  // minimox, minimoy, maximox, maximoy, in the command line's order
    // Every value lands strictly inside its own box, off the grid lines;
    // false when the boxes are too small for that (then every value is
    // still in its own box, where it can be), or when no limits do it at
    // all (values too near a double's range).
    bool clear_of_lines = false;
    bool inside_boxes = false;     // every finite value in its own box, none clipped away
};

// Limits for `shape` in a plot area of `area_width` x `area_height`: each
// rounded outward to 3 significant digits, or the fewest digits more that
// keep the values over at least half their box; checked point by point with
// the viewer's own mapping (cell_to_screen), which it leaves as it found it.
SuggestedLimits suggest_limits(const LogShape& shape, int area_width, int area_height);

#endif  // PELMORIX_SCAN_H
