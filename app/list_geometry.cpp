#include "list_geometry.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr uint32_t MIN_CAP = 4;
constexpr uint32_t MAX_CAP = 40;
constexpr double CAP_SHARE = 0.6;    // of the width, the most indentation may take
constexpr double DEPTH_SCALE = 0.75; // the depth number's font against the list font
constexpr double DEPTH_GAP = 6;
constexpr uint32_t MIN_GUTTER_DIGITS = 2;
} // namespace

static uint32_t digits(uint32_t n) {
    uint32_t d = 1;
    for (; n >= 10; n /= 10) d++;
    return d;
}

uint32_t ov_indent_cap(double w) {
    const double cap = std::floor((CAP_SHARE * w - OV_MARGIN) / OV_INDENT);
    return uint32_t(std::clamp(cap, double(MIN_CAP), double(MAX_CAP)));
}

OVRowGeometry ov_row_geometry(uint32_t depth, bool tree, double w, double cw) {
    if (!tree) return {0, -1, OV_MARGIN, OV_MARGIN};
    const uint32_t cap = ov_indent_cap(w);
    OVRowGeometry g{std::min(depth, cap), -1, 0, 0};
    double x = OV_INDENT * g.levels + OV_MARGIN;
    if (depth > cap) {
        g.depthX = x;
        x += std::ceil(cw * digits(depth) * DEPTH_SCALE) + DEPTH_GAP;
    }
    g.chevronX = x;
    g.textX = x + OV_INDENT;
    return g;
}

uint32_t ov_row_chars(double textX, double w, double cw) {
    const double room = std::max(w - textX - OV_MARGIN, 0.0);
    return std::max(uint32_t(std::floor(room / cw)), 1u);
}

double ov_gutter_width(uint32_t count, double cw) {
    return std::max(digits(count), MIN_GUTTER_DIGITS) * cw + OV_MARGIN + OV_GUTTER_GAP;
}

uint32_t ov_full_rows(double height, int rowHeight) {
    if (rowHeight <= 0) return 1;
    return std::max(uint32_t(std::max(std::floor(height / rowHeight), 0.0)), 1u);
}

uint32_t ov_page_rows(double height, int rowHeight) {
    const double fit = rowHeight > 0 ? std::floor(std::max(height, 0.0) / rowHeight) : 0;
    return uint32_t(std::max(fit - 1, 1.0));
}

uint32_t ov_max_top(uint32_t count, double height, int rowHeight) {
    const uint32_t full = ov_full_rows(height, rowHeight);
    return count > full ? count - full : 0;
}

uint32_t ov_reveal_top(uint32_t row, uint32_t top, uint32_t count, double height, int rowHeight) {
    if (row >= count) return top;
    const uint32_t full = ov_full_rows(height, rowHeight);
    const int64_t at = int64_t(row) - int64_t(top); // rows from the top edge
    if (at >= 0 && at < int64_t(full)) return top;
    int64_t target;
    if (at >= 0 && double(at) * rowHeight < height + rowHeight) {
        target = int64_t(row) - full + 1; // just below: it becomes the last whole row
    } else if (at == -1) {
        target = row; // just above: it becomes the first
    } else {
        const double centre = double(row) + 0.5 - height / (2.0 * rowHeight);
        target = int64_t(std::llround(centre));
    }
    return uint32_t(std::clamp<int64_t>(target, 0, ov_max_top(count, height, rowHeight)));
}
