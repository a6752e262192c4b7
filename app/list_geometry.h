// list_geometry.h: where the document list puts things, as pure functions of its size.
//
// Lengths are device-independent pixels; cw is the list font's character width and rowHeight the
// theme's row height. Rows are counted from 0; a list holds at most 0xFFFFFFFF of them, so row
// arithmetic here is done in 64 bits.
#ifndef OV_LIST_GEOMETRY_H
#define OV_LIST_GEOMETRY_H

#include <cstdint>

// One tree row's layout: the indent levels drawn, the x of the depth number (-1 when the depth
// is within the cap and shows as indentation alone), of the chevron box and of the text.
struct OVRowGeometry {
    uint32_t levels;
    double depthX;
    double chevronX;
    double textX;
};

// Indentation and boxes.
inline constexpr double OV_INDENT = 16;  // one level, and the chevron box's width
inline constexpr double OV_MARGIN = 8;   // left of the first level, right of the text
inline constexpr double OV_GUTTER_GAP = 14; // between a line number and the Text view's text

// How many indent levels a list w wide draws: deeper rows show their depth as a number instead.
uint32_t ov_indent_cap(double w);
// A row at depth in a list w wide; outside the tree (the Text view) nothing is indented.
OVRowGeometry ov_row_geometry(uint32_t depth, bool tree, double w, double cw);
// Characters that fit from textX to the right margin; never 0, so a row always has its start.
uint32_t ov_row_chars(double textX, double w, double cw);
// The Text view's line-number column for count lines.
double ov_gutter_width(uint32_t count, double cw);
// Rows that fit whole in a clip height tall (at least 1).
uint32_t ov_full_rows(double height, int rowHeight);
// The rows a page key moves: one fewer than fit, so that a row of context stays.
uint32_t ov_page_rows(double height, int rowHeight);
// The largest top row: the one that shows the last row whole at the bottom.
uint32_t ov_max_top(uint32_t count, double height, int rowHeight);
// The top row that brings row into sight from top: unchanged when row is whole in sight, a
// one-row step when row is just past an edge, else row centred; clamped to the list.
uint32_t ov_reveal_top(uint32_t row, uint32_t top, uint32_t count, double height, int rowHeight);

#endif
