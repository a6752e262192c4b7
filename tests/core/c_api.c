/* Proves the public headers are C11: includes the umbrella header and calls a few functions. */
#include <string.h>

#include "jx.h"

int jx_c_api_smoke(void);

int jx_c_api_smoke(void) {
    const char text[] = "{\"a\":[1,2]}";
    char *buf = jx_buf_alloc(sizeof text - 1);
    if (!buf) return -1;
    memcpy(buf, text, sizeof text - 1);
    jx_parse_options opt = {0, 0};
    int status = -1;
    JxDoc *doc = jx_parse(buf, sizeof text - 1, &opt, NULL, &status);
    if (!doc || status != JX_OK) return -2;
    int result = (int)jx_doc_count(doc) * 10 + jx_type(doc, jx_first_child(doc, 0));
    jx_doc_release(doc);
    return result;
}
