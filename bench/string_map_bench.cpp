// StringMap find and insert at 100, 1 000 and 10 000 keys against GHashTable
// (g_str_hash / g_str_equal) with the same keys in UTF-8. Both sides own a
// copy of every key. Find: every key looked up once, in a shuffled order.
// Insert: an empty table is made, filled with every key (find-or-add) and
// destroyed. The map has 1024 fixed buckets (the binding table's), so its
// chains grow with the key count by design.
#include "bench_support.h"

#include "runtime/core/string_map.h"
#include "runtime/core/wide_string.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t BUCKETS = 1024;
constexpr std::int64_t ELEMENT = 16; // bytes of an element (a binding's size)

struct KeySet {
    std::vector<std::vector<WideChar>> wide; // terminated UTF-16 keys
    std::vector<std::string> utf8;           // the same keys
    std::vector<int> lookup_order;           // shuffled indices
};

// Keys shaped like the binding table's: "type:window:object:subtype", with
// object numbers spread like record addresses.
std::shared_ptr<KeySet> make_keys(int count) {
    auto keys = std::make_shared<KeySet>();
    std::mt19937_64 random(count);
    for (int i = 0; i < count; ++i) {
        char text[96];
        unsigned long long object = 0x55550000ull + (random() % 0x10000000ull) * 16;
        std::snprintf(text, sizeof text, "%d:%d:%llu:%d", 3 + i % 5, 1 + i % 3, object + i, i % 4 == 0 ? 768 : 0);
        keys->utf8.emplace_back(text);
        std::vector<WideChar> wide;
        for (const char* p = text; *p != 0; ++p) {
            wide.push_back(static_cast<unsigned char>(*p));
        }
        wide.push_back(0);
        keys->wide.push_back(std::move(wide));
        keys->lookup_order.push_back(i);
    }
    std::shuffle(keys->lookup_order.begin(), keys->lookup_order.end(), random);
    return keys;
}

StringMap* build_ours(const KeySet& keys, StringMap** slot) {
    StringMap* map = map_create(ELEMENT, 0, nullptr, slot, BUCKETS);
    for (std::size_t i = 0; i < keys.wide.size(); ++i) {
        auto* element = static_cast<std::int64_t*>(map_insert(map, keys.wide[i].data(), 1));
        element[0] = static_cast<std::int64_t>(i) + 1;
    }
    return map;
}

GHashTable* build_reference(const KeySet& keys) {
    GHashTable* table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, nullptr);
    for (std::size_t i = 0; i < keys.utf8.size(); ++i) {
        g_hash_table_insert(table, g_strdup(keys.utf8[i].c_str()), GSIZE_TO_POINTER(i + 1));
    }
    return table;
}

std::string verify(const KeySet& keys) {
    StringMap* map = nullptr;
    build_ours(keys, &map);
    GHashTable* table = build_reference(keys);
    std::string diff;
    if (map == nullptr || map->entry_count != static_cast<std::int32_t>(g_hash_table_size(table))) {
        diff = "entry counts differ";
    }
    for (std::size_t i = 0; i < keys.wide.size() && diff.empty(); ++i) {
        auto* element = static_cast<std::int64_t*>(map_find(map, keys.wide[i].data()));
        gsize value = GPOINTER_TO_SIZE(g_hash_table_lookup(table, keys.utf8[i].c_str()));
        if (element == nullptr || static_cast<gsize>(element[0]) != value || value != i + 1) {
            diff = "key " + keys.utf8[i] + " found differently";
        }
    }
    if (diff.empty() && (map_find(map, u"0:0:0:0") != nullptr || g_hash_table_lookup(table, "0:0:0:0") != nullptr)) {
        diff = "a missing key was found";
    }
    map_destroy(map);
    g_hash_table_destroy(table);
    return diff;
}

void register_size(int count, double target) {
    std::shared_ptr<KeySet> keys = make_keys(count);
    std::string size = std::to_string(count);
    bench_register_pair(
        "map/find/" + size, target, [keys] { return verify(*keys); },
        [keys](benchmark::State& state) {
            StringMap* map = nullptr;
            build_ours(*keys, &map);
            for (auto _ : state) {
                for (int i : keys->lookup_order) {
                    bench_keep(map_find(map, keys->wide[i].data()));
                }
            }
            map_destroy(map);
            state.SetItemsProcessed(state.iterations() * keys->wide.size());
        },
        [keys](benchmark::State& state) {
            GHashTable* table = build_reference(*keys);
            for (auto _ : state) {
                for (int i : keys->lookup_order) {
                    bench_keep(g_hash_table_lookup(table, keys->utf8[i].c_str()));
                }
            }
            g_hash_table_destroy(table);
            state.SetItemsProcessed(state.iterations() * keys->utf8.size());
        });
    bench_register_pair(
        "map/insert/" + size, target, [keys] { return verify(*keys); },
        [keys](benchmark::State& state) {
            for (auto _ : state) {
                StringMap* map = nullptr;
                build_ours(*keys, &map);
                map_destroy(map);
            }
            state.SetItemsProcessed(state.iterations() * keys->wide.size());
        },
        [keys](benchmark::State& state) {
            for (auto _ : state) {
                g_hash_table_destroy(build_reference(*keys));
            }
            state.SetItemsProcessed(state.iterations() * keys->utf8.size());
        });
}

} // namespace

int main(int argc, char** argv) {
    workspace_init();
    register_size(100, 0);
    register_size(1000, 1.0);
    register_size(10000, 0);
    bench_note("rounds", "map rounds: find = every key once; insert = new table, every key, destroy");
    int status = bench_main(argc, argv, "StringMap");
    workspace_end();
    return status;
}
