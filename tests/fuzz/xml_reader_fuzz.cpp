// libFuzzer target for the XML reader (built with clang by scripts/fuzz.sh): coverage-guided
// inputs to parse_xml, whose callbacks check that starts and ends balance and read every byte
// they are handed, under AddressSanitizer and UndefinedBehaviorSanitizer.
#include "services/xml_reader.h"

#include <stdint.h>
#include <stdlib.h>

struct balance {
    long depth;
};

static int touch(const char *p, size_t n)
{
    volatile char sum = 0;
    for (size_t i = 0; i < n; i++) sum += p[i];
    return 1;
}

static int start(xml_callbacks *cb)
{
    ((balance *)cb->user_data)->depth++;
    if (cb->text_length == 0) abort();
    return touch(cb->text, cb->text_length);
}

static int end(xml_callbacks *cb)
{
    if (--((balance *)cb->user_data)->depth < 0) abort();
    return 1;
}

static int run(xml_callbacks *cb) { return touch(cb->text, cb->text_length) && touch(cb->key, cb->key_length); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    balance b = {0};
    xml_callbacks cb = {};
    cb.user_data = &b;
    cb.on_element_start = start;
    cb.on_element_end = end;
    cb.on_content = cb.on_attribute = cb.on_pi = run;
    int ok = parse_xml((const char *)data, size, &cb);
    if (ok && b.depth != 0) abort();
    if (cb.status != (ok ? 1 : -1)) abort();
    return 0;
}
