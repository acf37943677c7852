// Strings that all share one 32-bit FNV-1 hash (the interpreter's unkeyed String hash of
// old): a chain of stages, each a pair of six-letter blocks that lead from the same state to
// the same state, so every choice of one block per stage collides. 2^stages strings, made
// in a moment, as anyone flooding a Hash would make them.
#pragma once
#include <stdint.h>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

static inline uint32_t fnv1_step(uint32_t h, const std::string &bytes)
{
    for (unsigned char c : bytes) h = (h * 0x01000193u) ^ c;
    return h;
}

static inline uint32_t fnv1_hash(const std::string &bytes) { return fnv1_step(0x811c9dc5u, bytes); }

// The pair of distinct blocks of letters that take state h to one state, and that state.
// Four letters never collide from some states: six, taken in a scattered order, soon do.
static inline std::pair<std::pair<std::string, std::string>, uint32_t> fnv1_colliding_blocks(uint32_t h)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::unordered_map<uint32_t, std::string> seen;
    std::string block(6, 'a');
    for (uint64_t n = 0;; n++) {
        uint64_t rest = (n * 0x9E3779B97F4A7C15ull) >> 30; // 34 bits: more than 52^6 blocks
        for (char &c : block) c = letters[rest % 52], rest /= 52;
        uint32_t next = fnv1_step(h, block);
        auto found = seen.find(next);
        if (found == seen.end()) seen.emplace(next, block);
        else if (found->second != block) return {{found->second, block}, next};
    }
}

static inline std::vector<std::string> fnv1_colliding_strings(int stages)
{
    std::vector<std::string> strings = {""};
    uint32_t h = 0x811c9dc5u;
    for (int stage = 0; stage < stages; stage++) {
        auto blocks = fnv1_colliding_blocks(h);
        std::vector<std::string> longer;
        longer.reserve(strings.size() * 2);
        for (const std::string &s : strings) {
            longer.push_back(s + blocks.first.first);
            longer.push_back(s + blocks.first.second);
        }
        strings.swap(longer);
        h = blocks.second;
    }
    return strings;
}
