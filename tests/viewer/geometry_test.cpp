// Unit tests of the cell grid mapping, cell_to_screen, on the plot state set
// by hand. Expected coordinates are worked out from the mapping's rule with
// exact fractions (see the comment on each row), not by the code under test.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "viewer.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The worked example's plot: 637 x 400 pixels, two boxes each way (boxes of
// 318 x 200), time 0..1 across a box, values 0..10 up a box.
class CellToScreen : public ::testing::Test {
protected:
    void SetUp() override {
        plot_width = 637;
        plot_height = 400;
        grid_columns = 2;
        grid_rows = 2;
        minimox = 0;
        maximox = 1;
        minimoy = 0;
        maximoy = 10;
    }
};

struct MapCase {
    const char* what;
    int column;
    int row;
    double time;
    double value;
    int x;
    int y;
};

TEST_F(CellToScreen, MapsTimeAndValueIntoTheCellsBox) {
    const MapCase cases[] = {
        // (0.5 + 1) x 318 = 477; 400 - (0.25 + 1) x 200 = 150.
        {"worked example", 1, 0, 0.5, 2.5, 477, 150},
        // minimox is the box's left column, minimoy its bottom line: row 1's bottom is 400.
        {"box origin of the bottom row", 0, 1, 0, 0, 0, 400},
        // 400 - 0.05 x 200 = 390.
        {"value 0.5 just above the bottom", 0, 1, 0, 0.5, 0, 390},
        // maximox is the next box's first column, maximoy the box's top line.
        {"top right corner of box (0, 0)", 0, 0, 1, 10, 318, 0},
        // 15 is 1.5 spans up: 400 - 1.5 x 200 = 100, inside box row 0.
        {"value above maximoy lands in the box above", 0, 1, 0.25, 15, 79, 100},
        // -5 is half a span down: 400 - 0.5 x 200 = 300, inside box row 1.
        {"value below minimoy lands in the box below", 1, 0, 0.25, -5, 397, 300},
        // Time 1.5 is half a box to the right: 1.5 x 318 = 477, in box column 1.
        {"time beyond maximox lands in the box to the right", 0, 0, 1.5, 5, 477, 100},
        // 400 - 1.00390625 x 200 = -0.78; x = -0.001 x 318 = -0.318: both truncate to 0.
        {"coordinates between -1 and 0 truncate to 0", 0, 0, -0.001, 10.0390625, 0, 0},
        // -0.004 x 318 = -1.272 truncates toward zero, to -1.
        {"coordinate below -1 truncates toward zero", 0, 0, -0.004, 5, -1, 100},
        // Row 2 is beyond the grid: 400 - (0.5 - 1) x 200 = 500, below the plot.
        {"row beyond the grid maps below the plot", 0, 2, 0, 5, 0, 500},
        // Column 2 is beyond the grid: (0 + 2) x 318 = 636, the left-over column.
        {"column beyond the grid maps right of it", 2, 0, 0, 5, 636, 100},
    };
    for (const MapCase& c : cases) {
        const ScreenPoint p = cell_to_screen(c.column, c.row, c.time, c.value);
        EXPECT_TRUE(p.placed) << c.what;
        EXPECT_EQ(p.x, c.x) << c.what;
        EXPECT_EQ(p.y, c.y) << c.what;
    }
}

TEST_F(CellToScreen, ScreenToCellFindsTheBoxInsideItsLinesAndTheTimeAndValueAtThePixelsCentre) {
    // The worked example's lines: x = 0, 317 and 635; y = 0, 200 and 400.
    const struct {
        const char* what;
        int x, y;
        bool inside;
        int column, row;
        double time, value;
    } cases[] = {
        // 1.5 / 318 of the span; (400 - 1.5) / 200 - 1 = 0.9925 of 10.
        {"box (0, 0)'s top left pixel", 1, 1, true, 0, 0, 1.5 / 318, 9.925},
        {"the left line", 0, 100, false, 0, 0, 0, 0},
        {"box (0, 0)'s right line", 317, 100, false, 0, 0, 0, 0},
        // 318.5 / 318 - 1 = 0.5 / 318; (400 - 100.5) / 200 - 1 = 0.4975.
        {"box (1, 0)'s first column", 318, 100, true, 1, 0, 0.5 / 318, 4.975},
        {"box (1, 0)'s last column", 634, 100, true, 1, 0, 316.5 / 318, 4.975},
        {"the grid's right line", 635, 100, false, 0, 0, 0, 0},
        {"the left-over column", 636, 100, false, 0, 0, 0, 0},
        {"the top line", 100, 0, false, 0, 0, 0, 0},
        // (400 - 199.5) / 200 - 1 = 0.0025.
        {"box (0, 0)'s bottom row", 100, 199, true, 0, 0, 100.5 / 318, 0.025},
        {"the line between the rows", 100, 200, false, 0, 0, 0, 0},
        // (400 - 399.5) / 200 = 0.0025.
        {"box (0, 1)'s bottom row", 100, 399, true, 0, 1, 100.5 / 318, 0.025},
        {"the bottom line, clipped away", 100, 400, false, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        CellReading reading{};
        ASSERT_EQ(screen_to_cell(c.x, c.y, &reading), c.inside) << c.what;
        if (!c.inside) continue;
        EXPECT_EQ(reading.column, c.column) << c.what;
        EXPECT_EQ(reading.row, c.row) << c.what;
        EXPECT_DOUBLE_EQ(reading.time, c.time) << c.what;
        EXPECT_DOUBLE_EQ(reading.value, c.value) << c.what;
        // And the mapping takes them back to that pixel.
        const ScreenPoint p = cell_to_screen(reading.column, reading.row, reading.time, reading.value);
        EXPECT_EQ(p.x, c.x) << c.what;
        EXPECT_EQ(p.y, c.y) << c.what;
    }
}

TEST_F(CellToScreen, KeepsExtendedPrecisionUntilTheFinalTruncation) {
    // The double nearest 0.05 lies a little above it. In extended precision
    // 0.05 / 10 x 200 stays a hair above 1, so 400 - it stays below 399 and
    // truncates to 398.
    const ScreenPoint p = cell_to_screen(0, 1, 0, 0.05);
    ASSERT_TRUE(p.placed);
    EXPECT_EQ(p.y, 398);
    // The same steps rounded to double each time land on 399: the case does
    // tell the two apart.
    volatile double fy = 0.05 / 10.0;
    volatile double scaled = fy * 200.0;
    volatile double y = 400.0 - scaled;
    EXPECT_EQ(static_cast<int>(y), 399);
}

TEST_F(CellToScreen, BoxSizesComeFromIntegerDivision) {
    // 700 boxes across 637 pixels: boxes 0 wide, every point on x = 0; and
    // 700 boxes down 400 pixels: 0 high, every point on y = plot_height.
    grid_columns = 700;
    grid_rows = 700;
    const ScreenPoint p = cell_to_screen(350, 3, 0.75, 7);
    ASSERT_TRUE(p.placed);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 400);
    // Three boxes: 637 / 3 = 212 wide, 400 / 3 = 133 high; the top-most box
    // row starts at 400 - 3 x 133 = 1. Value 10 in row 0 is its top line.
    grid_columns = 3;
    grid_rows = 3;
    const ScreenPoint q = cell_to_screen(2, 0, 1, 10);
    EXPECT_EQ(q.x, 636);
    EXPECT_EQ(q.y, 1);
}

TEST_F(CellToScreen, EqualLimitsPutEveryPointHalfWayAcrossItsBox) {
    // No span to divide by: the point goes to the middle of its box along
    // that axis, whatever the value, and the other axis maps as usual.
    struct Case {
        const char* what;
        double min_x, max_x, min_y, max_y;
        double time, value;
        int x, y;
    } cases[] = {
        // x: (0.5 + 1) x 318 = 477; y as usual: 400 - (0.25 + 1) x 200 = 150.
        {"equal time limits", 0.3, 0.3, 0, 10, 0.025, 2.5, 477, 150},
        // Any time, even far beyond the limit, stays in the middle.
        {"equal time limits, time far beyond", 0.3, 0.3, 0, 10, 1e9, 2.5, 477, 150},
        // y: 400 - (0.5 + 1) x 200 = 100; x as usual: (0.5 + 1) x 318 = 477.
        {"equal value limits", 0, 1, 5, 5, 0.5, 123, 477, 100},
        // Infinite equal limits are equal all the same.
        {"equal infinite limits", kInf, kInf, -kInf, -kInf, 0.5, 0, 477, 100},
    };
    for (const Case& c : cases) {
        minimox = c.min_x;
        maximox = c.max_x;
        minimoy = c.min_y;
        maximoy = c.max_y;
        const ScreenPoint p = cell_to_screen(1, 0, c.time, c.value);
        EXPECT_TRUE(p.placed) << c.what;
        EXPECT_EQ(p.x, c.x) << c.what;
        EXPECT_EQ(p.y, c.y) << c.what;
    }
}

TEST_F(CellToScreen, CoordinatesBeyondAnIntSaturate) {
    struct Case {
        const char* what;
        int row;
        double time, value;
        int x, y;
    } cases[] = {
        // 400 - (1e29 + 1) x 200 is far below INT_MIN.
        {"huge value", 0, 0, 1e30, 0, INT_MIN},
        {"huge negative value", 0, 0, -1e30, 0, INT_MAX},
        {"huge time", 0, 1e30, 5, INT_MAX, 100},
        // A value beyond a double's range arrives as an infinity.
        {"infinite value", 0, 0, kInf, 0, INT_MIN},
        {"negative infinite time", 0, -kInf, 5, INT_MIN, 100},
        // The row term is formed without overflow even for the last int row.
        {"row INT_MAX", INT_MAX, 0, 5, 0, INT_MAX},
    };
    for (const Case& c : cases) {
        const ScreenPoint p = cell_to_screen(0, c.row, c.time, c.value);
        EXPECT_TRUE(p.placed) << c.what;
        EXPECT_EQ(p.x, c.x) << c.what;
        EXPECT_EQ(p.y, c.y) << c.what;
    }
}

TEST_F(CellToScreen, PointsWithoutAPositionAreNotPlaced) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(cell_to_screen(0, 0, nan, 5).placed) << "time not a number";
    EXPECT_FALSE(cell_to_screen(0, 0, 0.5, nan).placed) << "value not a number";
    // Limits from -inf to +inf: every fraction is inf / inf, not a number.
    minimoy = -kInf;
    maximoy = kInf;
    EXPECT_FALSE(cell_to_screen(0, 0, 0.5, 5).placed) << "infinite value span";
    maximoy = 10;
    minimoy = 0;
    // Infinite time with boxes 0 wide: inf x 0 is not a number either.
    grid_columns = 700;
    grid_rows = 2;
    EXPECT_FALSE(cell_to_screen(0, 0, kInf, 5).placed) << "infinite time in a box of width 0";
    // No grid sized yet (the first row had no value): nothing to divide by.
    grid_columns = 0;
    grid_rows = 0;
    EXPECT_FALSE(cell_to_screen(0, 1, 0, 5).placed) << "no grid";
}

}  // namespace
