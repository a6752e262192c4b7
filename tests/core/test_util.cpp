#include "test_util.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace jxtest {

JxDoc *parse(std::string_view text, bool strict, bool lines, int *status) {
    char *buf = jx_buf_alloc(text.size());
    if (!buf) return nullptr;
    if (!text.empty()) std::memcpy(buf, text.data(), text.size());
    jx_parse_options opt{};
    opt.strict = strict;
    opt.lines = lines;
    int st = -1;
    JxDoc *doc = jx_parse(buf, text.size(), &opt, nullptr, &st);
    if (status) *status = st;
    return doc;
}

std::string read_file(const std::string &path, bool *ok) {
    std::ifstream in(path, std::ios::binary);
    if (ok) *ok = bool(in);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string shared_path(const std::string &rel) { return std::string(ORVEL_SHARED) + "/" + rel; }
std::string sample_path(const std::string &rel) { return std::string(ORVEL_SAMPLES) + "/" + rel; }

std::string problem_message(const JxDoc *doc, uint32_t i) {
    const jx_problem *p = jx_doc_error(doc, i);
    return p ? p->message : "";
}

}  // namespace jxtest
