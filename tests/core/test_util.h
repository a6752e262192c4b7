// Helpers shared by the core's unit tests.
#pragma once

#include <string>
#include <string_view>

#include "jx.h"

namespace jxtest {

// Parses text (copied into a jx_buf_alloc buffer). Returns null on a failed parse.
JxDoc *parse(std::string_view text, bool strict = false, bool lines = false, int *status = nullptr);

// Reads a whole file; empty on failure (ok set false).
std::string read_file(const std::string &path, bool *ok = nullptr);

// Path of a shared resource (corpus, conformance) or a bundled sample.
std::string shared_path(const std::string &rel);
std::string sample_path(const std::string &rel);

// Owns a document for the length of a test.
struct Doc {
    JxDoc *doc;
    explicit Doc(JxDoc *d) : doc(d) {}
    Doc(std::string_view text, bool strict = false, bool lines = false)
        : doc(parse(text, strict, lines)) {}
    ~Doc() { jx_doc_release(doc); }
    Doc(const Doc &) = delete;
    Doc &operator=(const Doc &) = delete;
    operator JxDoc *() const { return doc; }
};

// The message of problem i, or "" when there is none.
std::string problem_message(const JxDoc *doc, uint32_t i);

}  // namespace jxtest
