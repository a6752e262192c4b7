#include "list_model.h"

#include "settings_store.h"

#include <jx/keys.h>
#include <jx/view.h>

uint32_t OVViewListModel::count() const { return jx_view_count(*m_view); }

uint32_t OVViewListModel::mode() const { return jx_view_mode(*m_view); }

void OVViewListModel::line(uint32_t row, uint32_t width, JxLine *line) const { jx_view_line(*m_view, row, width, line); }

uint32_t OVViewListModel::selected() const { return jx_view_selected(*m_view); }

uint32_t OVViewListModel::anchor() const { return jx_view_anchor(*m_view); }

void OVViewListModel::click(uint32_t row, bool onChevron, uint32_t mods) { jx_view_click(*m_view, row, onChevron, mods); }

void OVViewListModel::doubleClick(uint32_t row) { jx_view_double_click(*m_view, row); }

bool OVViewListModel::key(uint32_t key, uint32_t mods, uint32_t pageRows) {
    return jx_view_key(*m_view, key, mods, pageRows) != 0;
}

bool OVViewListModel::type(uint32_t codePoint, uint64_t ms) { return jx_view_type(*m_view, codePoint, ms) != 0; }

bool OVViewListModel::indentGuides() const { return OVSettings::shared()->values().indent_guides != 0; }
