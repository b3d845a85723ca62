#pragma once
#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/radix_sort.h"

// Names put in byte order by a radix sort on eight of their bytes, compared
// in full only where those agree.

// Eight bytes of a name, from `skip` on, as one number (a name that ends
// sooner padded with zero bytes): numbers in the names' byte order, except
// among names that share those bytes.
inline std::uint64_t name_key(std::string_view name, std::size_t skip) {
    std::uint64_t key = 0;
    for (std::size_t k = skip; k < skip + 8; ++k)
        key = key << 8 | (k < name.size() ? static_cast<unsigned char>(name[k]) : 0u);
    return key;
}

// Whether two entries of equal key, both keyed after the same `common`
// bytes, name the same gene. Names that both end within the eight keyed
// bytes are the same when their lengths are: the key holds all their bytes.
// Only longer names are read again, which matters when the entries are a
// file's lines and each read misses the cache.
template <class Name> bool same_sorted_name(const keyed_value& a, const keyed_value& b, std::size_t common, Name name_of) {
    if (a.key != b.key) return false;
    std::string_view x = name_of(a.value), y = name_of(b.value);
    if (x.size() != y.size()) return false;
    return x.size() <= common + 8 || x == y;
}

// Sorts the entries into byte order of name_of(value), equal names keeping
// their order, and returns the length of the prefix all names share. Gene
// identifiers often share a long one ("ENSG00000", "GENE_"): it is skipped,
// and the eight bytes after it, sorted by radix_sort, order most names
// without a single compare. Names that share those bytes too are compared in
// full, unless they are all one name.
template <class Name> std::size_t sort_by_name(std::vector<keyed_value>& order, Name name_of) {
    std::size_t common = order.empty() ? 0 : name_of(order[0].value).size();
    for (std::size_t k = 1; k < order.size() && common > 0; ++k) {
        std::string_view a = name_of(order[0].value), b = name_of(order[k].value);
        std::size_t same = 0;
        while (same < common && same < b.size() && a[same] == b[same]) ++same;
        common = same;
    }
    for (keyed_value& o : order) o.key = name_key(name_of(o.value), common);
    std::vector<keyed_value> spare;
    radix_sort(order, spare);
    auto same_name = [&](const keyed_value& a, const keyed_value& b) {
        return same_sorted_name(a, b, common, name_of);
    };
    for (std::size_t k = 0, end; k < order.size(); k = end) {
        bool one_name = true;
        for (end = k + 1; end < order.size() && order[end].key == order[k].key; ++end)
            one_name = one_name && same_name(order[k], order[end]);
        if (!one_name)
            std::stable_sort(order.begin() + k, order.begin() + end, [&](const keyed_value& a, const keyed_value& b) {
                return name_of(a.value) < name_of(b.value);
            });
    }
    return common;
}
