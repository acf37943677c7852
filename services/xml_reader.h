// xml_reader: a push reader for XML documents. A byte-at-a-time tokeniser checks
// well-formedness (elements, attributes, character data, comments, CDATA sections,
// processing instructions, an XML declaration and a skipped document type declaration) and
// replaces the five predefined entities and character references; no entity of a DTD is ever
// expanded and bytes pass through untranscoded. parse_xml gathers its tokens into runs and
// reports them through a record of callbacks. No interpreter here: the Ruby tree is built
// by the callbacks of ffi/xml.cpp. Plain C, so extensions can include it.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Names of the open elements plus the current attribute name or PI target, each with a NUL.
#define XML_NAME_STACK_BYTES 8192

typedef struct xml_callbacks xml_callbacks;
typedef int (*xml_callback)(xml_callbacks *cb);

struct xml_callbacks {
    int32_t status;      // 0 while parsing, 1 after success, -1 after failure
    const char *message; // the failure text, null otherwise
    uint32_t line;       // position of the last token handled: line (first 1),
    uint32_t column;     // byte within that line,
    uint64_t offset;     // bytes consumed
    const char *text;    // element name, attribute name or PI target, or a gathered run; no NUL
    size_t text_length;
    const char *key;     // at an attribute's or PI's callback: its name or target; null otherwise
    size_t key_length;
    void *user_data; // for the callbacks; never touched here
    // Each returns 0 to cancel the parse (on_end's result is not looked at); null ones are skipped.
    xml_callback on_begin;         // once, before the first byte
    xml_callback on_end;           // once, after status and message are set
    xml_callback on_element_start; // text: the element's name
    xml_callback on_content;       // text: a run of character data
    xml_callback on_attribute;     // key: name, text: the whole value ("" for an empty one)
    xml_callback on_element_end;   // text: null
    xml_callback on_pi; // key: target, text: the whole content ("" for none)
};

// The executable exports both under these names (plain C, so extensions find them with dlsym).
#ifdef __cplusplus
extern "C" {
#endif

// 1 when the bytes are one complete, well-formed document and nothing cancelled; 0 otherwise
// (status -1 and message set, on_end called). A null record answers 0 and calls nothing.
int parse_xml(const char *data, size_t length, xml_callbacks *cb);
// The same over a file of the virtual file system; an unreadable file fails with
// "Couldn't load file" and calls no callback.
int parse_xml_file(const char *path, xml_callbacks *cb);

#ifdef __cplusplus
}
#endif
