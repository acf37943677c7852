// Prints parse throughput for a 20 MB XML text and a 20 MB JSON text: the XML reader alone and
// FFI::Misc#parse_xml into Ruby Hashes; cJSON's own parse alone and FFI::Misc#parse_json into
// Ruby values. Before any figure, each result is checked against what the text holds. Then a
// JSON object and an XML element whose 16,384 names shared the interpreter's old String hash.
#include "services/xml_reader.h"
#include "support/fnv_collisions.h"
#include "support/host_fixture.h"

#include <algorithm>
#include <chrono>
#include <cjson/cJSON.h>
#include <mruby/array.h>
#include <mruby/hash.h>
#include <mruby/string.h>
#include <stdio.h>
#include <string>
#include <vector>

static const size_t TARGET_BYTES = 20u << 20;
static const int RUNS = 5;

template <class F> static double best_seconds(F run)
{
    std::vector<double> t;
    for (int i = 0; i < RUNS; i++) {
        auto start = std::chrono::steady_clock::now();
        run();
        t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return *std::min_element(t.begin(), t.end());
}

// Records of a save file: an element with two attributes, text and a nested element.
static std::string xml_text(long *records)
{
    std::string s = "<?xml version=\"1.0\"?>\n<records>\n";
    for (*records = 0; s.size() < TARGET_BYTES; ++*records)
        s += "  <record id=\"" + std::to_string(*records) + "\" kind=\"item &amp; more\">Name " + std::to_string(*records) +
             " <value unit=\"px\">" + std::to_string(*records * 7) + ".5</value></record>\n";
    return s + "</records>\n";
}

static std::string json_text(long *records)
{
    std::string s = "[";
    for (*records = 0; s.size() < TARGET_BYTES; ++*records)
        s += std::string(*records ? "," : "") + "{\"id\": " + std::to_string(*records) + ", \"name\": \"Name " +
             std::to_string(*records) + "\", \"value\": " + std::to_string(*records * 7) + ".5, \"tags\": [true, null]}\n";
    return s + "]";
}

static int count_start(xml_callbacks *cb)
{
    ++*(long *)cb->user_data;
    return 1;
}

int main()
{
    host_fixture fx;
    if (!host_fixture_up(&fx, false)) return 1;
    mrb_state *mrb = test_game.interpreter;
    mrb_value misc = mrb_obj_new(mrb, mrb_class_get_under(mrb, test_game.ffi_module, "Misc"), 0, nullptr);
    mrb_gc_register(mrb, misc);
    long xml_records = 0, json_records = 0;
    std::string xml = xml_text(&xml_records), json = json_text(&json_records);
    double mb_xml = (double)xml.size() / (1 << 20), mb_json = (double)json.size() / (1 << 20);

    // The picture first: every element seen, the tree and the values as the text has them.
    long elements = 0;
    xml_callbacks cb = {};
    cb.user_data = &elements;
    cb.on_element_start = count_start;
    bool ok = parse_xml(xml.data(), xml.size(), &cb) && elements == 1 + 2 * xml_records;
    int ai = mrb_gc_arena_save(mrb);
    mrb_value xml_s = mrb_str_new(mrb, xml.data(), (mrb_int)xml.size());
    mrb_value tree = mrb_funcall(mrb, misc, "parse_xml", 2, xml_s, mrb_true_value());
    mrb_value children = mrb_nil_p(tree) ? mrb_nil_value()
                                         : mrb_hash_get(mrb, mrb_ary_entry(mrb_hash_get(mrb, tree, mrb_symbol_value(mrb_intern_lit(mrb, "children"))), 0),
                                                        mrb_symbol_value(mrb_intern_lit(mrb, "children")));
    ok = ok && mrb_array_p(children) && RARRAY_LEN(children) == xml_records;
    cJSON *root = cJSON_Parse(json.c_str());
    ok = ok && root && cJSON_GetArraySize(root) == json_records &&
         cJSON_GetObjectItem(cJSON_GetArrayItem(root, (int)json_records - 1), "id")->valuedouble == json_records - 1;
    cJSON_Delete(root);
    mrb_value json_s = mrb_str_new(mrb, json.data(), (mrb_int)json.size());
    mrb_value value = mrb_funcall(mrb, misc, "parse_json", 1, json_s);
    ok = ok && mrb_array_p(value) && RARRAY_LEN(value) == json_records;
    mrb_gc_arena_restore(mrb, ai);
    if (!ok || mrb->exc) {
        printf("parse_bench: a parser did not give what the text holds; no figures\n");
        return 1;
    }

    double reader = best_seconds([&] {
        long n = 0;
        xml_callbacks c = {};
        c.user_data = &n;
        c.on_element_start = count_start;
        parse_xml(xml.data(), xml.size(), &c);
    });
    double xml_ruby = best_seconds([&] {
        int a = mrb_gc_arena_save(mrb);
        mrb_value s = mrb_str_new(mrb, xml.data(), (mrb_int)xml.size());
        mrb_funcall(mrb, misc, "parse_xml", 2, s, mrb_true_value());
        mrb_gc_arena_restore(mrb, a);
        mrb_full_gc(mrb);
    });
    double cjson = best_seconds([&] { cJSON_Delete(cJSON_Parse(json.c_str())); });
    double json_ruby = best_seconds([&] {
        int a = mrb_gc_arena_save(mrb);
        mrb_value s = mrb_str_new(mrb, json.data(), (mrb_int)json.size());
        mrb_funcall(mrb, misc, "parse_json", 1, s);
        mrb_gc_arena_restore(mrb, a);
        mrb_full_gc(mrb);
    });
    printf("| text | bytes | parse alone | into Ruby values |\n|---|---|---|---|\n");
    printf("| XML, %ld records | %.1f MB | reader: %.0f MB/s (%.3f s) | parse_xml: %.0f MB/s (%.3f s) |\n", xml_records,
           mb_xml, mb_xml / reader, reader, mb_xml / xml_ruby, xml_ruby);
    printf("| JSON, %ld records | %.1f MB | cJSON_Parse: %.0f MB/s (%.3f s) | parse_json: %.0f MB/s (%.3f s) |\n",
           json_records, mb_json, mb_json / cjson, cjson, mb_json / json_ruby, json_ruby);
    printf("(best of %d runs each; into Ruby includes the garbage collection of the previous result)\n", RUNS);

    // Names made to collide: each parse once, its Hash checked for every name.
    std::vector<std::string> names = fnv1_colliding_strings(14);
    std::string object = "{", element = "<e";
    for (size_t i = 0; i < names.size(); i++) {
        object += (i ? ",\"" : "\"") + names[i] + "\":1";
        element += " " + names[i] + "='1'";
    }
    object += "}";
    element += "/>";
    for (int xml_case = 0; xml_case < 2; xml_case++) {
        const std::string &text = xml_case ? element : object;
        int a = mrb_gc_arena_save(mrb);
        mrb_value s = mrb_str_new(mrb, text.data(), (mrb_int)text.size());
        auto start = std::chrono::steady_clock::now();
        mrb_value v = xml_case ? mrb_funcall(mrb, misc, "parse_xml", 2, s, mrb_true_value())
                               : mrb_funcall(mrb, misc, "parse_json", 1, s);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (xml_case && mrb_hash_p(v))
            v = mrb_hash_get(mrb, mrb_ary_entry(mrb_hash_get(mrb, v, mrb_symbol_value(mrb_intern_lit(mrb, "children"))), 0),
                             mrb_symbol_value(mrb_intern_lit(mrb, "attributes")));
        if (!mrb_hash_p(v) || (size_t)mrb_hash_size(mrb, v) != names.size()) {
            printf("parse_bench: the colliding names did not all arrive; no figure\n");
            return 1;
        }
        printf("%s with %zu names that shared the old String hash (%.1f MB): %.3f s\n",
               xml_case ? "XML element" : "JSON object", names.size(), (double)text.size() / (1 << 20), seconds);
        mrb_gc_arena_restore(mrb, a);
        mrb_full_gc(mrb);
    }
    host_fixture_down(&fx);
    return 0;
}
