// list_model.h: what the document list asks of the view it shows, and the real view behind it.
//
// The list draws rows and turns input into these calls and nothing else, so a stand-in can give
// it any number of rows (tests use billions). Main thread only.
#ifndef OV_LIST_MODEL_H
#define OV_LIST_MODEL_H

#include <cstdint>

struct JxLine;
struct JxView;

class OVListModel {
public:
    virtual ~OVListModel() = default;

    // Rows (Tree view) or lines (Text view).
    virtual uint32_t count() const = 0;
    // 0 Tree view, 1 Text view.
    virtual uint32_t mode() const = 0;
    // Builds row into line, at most width characters (0: only depth, node and chevron).
    virtual void line(uint32_t row, uint32_t width, JxLine *line) const = 0;
    // The selected row or cursor line, and the Text view's other end; 0xFFFFFFFF for none.
    virtual uint32_t selected() const = 0;
    virtual uint32_t anchor() const = 0;
    virtual void click(uint32_t row, bool onChevron, uint32_t mods) = 0;
    virtual void doubleClick(uint32_t row) = 0;
    // True when the view took the key (JX_KEY_*, letters and digits as characters).
    virtual bool key(uint32_t key, uint32_t mods, uint32_t pageRows) = 0;
    // Type-to-select; true when a row was selected. ms is from a monotonic clock.
    virtual bool type(uint32_t codePoint, uint64_t ms) = 0;
    // Whether tree rows draw their indent guides.
    virtual bool indentGuides() const = 0;
};

// The window's view, read through the window's own pointer to it so that a reload's new view
// (or none, once the window closes) is what the list sees at once. Guides follow the settings.
class OVViewListModel : public OVListModel {
public:
    explicit OVViewListModel(JxView *const *view) : m_view(view) {}

    uint32_t count() const override;
    uint32_t mode() const override;
    void line(uint32_t row, uint32_t width, JxLine *line) const override;
    uint32_t selected() const override;
    uint32_t anchor() const override;
    void click(uint32_t row, bool onChevron, uint32_t mods) override;
    void doubleClick(uint32_t row) override;
    bool key(uint32_t key, uint32_t mods, uint32_t pageRows) override;
    bool type(uint32_t codePoint, uint64_t ms) override;
    bool indentGuides() const override;

private:
    JxView *const *m_view;
};

#endif
