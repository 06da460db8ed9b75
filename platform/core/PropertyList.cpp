#include "platform/core/PropertyList.h"

#include <plist/plist.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <unistd.h>

namespace platform {
namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistHandle = std::unique_ptr<void, PlistFree>;

bool fromNode(plist_t node, int depth, PlistValue& out);

std::optional<PlistDict> dictFromNode(plist_t node, int depth) {
    PlistDict dict;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(node, &it);
    if (!it)
        return dict;
    for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, it, &key, &item);
        if (!key)
            break;
        std::string name(key);
        std::free(key);
        PlistValue value;
        if (fromNode(item, depth + 1, value))
            dict.insert_or_assign(std::move(name), std::move(value));
    }
    std::free(it);
    return dict;
}

// Fills `out` from the node; false for kinds we do not keep (dates, data) and runaway nesting.
bool fromNode(plist_t node, int depth, PlistValue& out) {
    // A hostile file could nest without end; no real property list of ours is this deep.
    if (!node || depth > 64)
        return false;
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        char* s = nullptr;
        plist_get_string_val(node, &s);
        out.value = std::string(s ? s : "");
        std::free(s);
        return true;
    }
    case PLIST_UINT: {
        std::uint64_t v = 0;
        plist_get_uint_val(node, &v);
        out.value = static_cast<std::int64_t>(v);
        return true;
    }
    case PLIST_BOOLEAN: {
        std::uint8_t v = 0;
        plist_get_bool_val(node, &v);
        out.value = v != 0;
        return true;
    }
    case PLIST_REAL: {
        double v = 0;
        plist_get_real_val(node, &v);
        out.value = v;
        return true;
    }
    case PLIST_ARRAY: {
        PlistArray array;
        const std::uint32_t count = plist_array_get_size(node);
        for (std::uint32_t i = 0; i < count; ++i) {
            PlistValue item;
            if (fromNode(plist_array_get_item(node, i), depth + 1, item))
                array.push_back(std::move(item));
        }
        out.value = std::move(array);
        return true;
    }
    case PLIST_DICT:
        if (auto dict = dictFromNode(node, depth)) {
            out.value = std::move(*dict);
            return true;
        }
        return false;
    default:
        return false;
    }
}

plist_t dictToNode(const PlistDict& dict);

plist_t toNode(const PlistValue& value) {
    if (const auto* s = value.string())
        return plist_new_string(s->c_str());
    if (const auto* i = value.integer())
        return plist_new_uint(static_cast<std::uint64_t>(*i));
    if (const auto* b = value.boolean())
        return plist_new_bool(*b ? 1 : 0);
    if (const auto* r = value.real())
        return plist_new_real(*r);
    if (const auto* a = value.array()) {
        plist_t array = plist_new_array();
        for (const auto& item : *a)
            plist_array_append_item(array, toNode(item));
        return array;
    }
    return dictToNode(*value.dict());
}

plist_t dictToNode(const PlistDict& dict) {
    plist_t node = plist_new_dict();
    for (const auto& [key, item] : dict)
        plist_dict_set_item(node, key.c_str(), toNode(item));
    return node;
}

} // namespace

std::optional<PlistDict> readPropertyList(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return parsePropertyList(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
}

std::optional<PlistDict> parsePropertyList(const std::string& bytes) {
    if (bytes.empty() || bytes.size() > 0x7fffffffu)
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    PlistHandle handle(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT)
        return std::nullopt;
    return dictFromNode(root, 0);
}

bool writePropertyList(const std::string& path, const PlistDict& dict) {
    PlistHandle root(dictToNode(dict));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    if (!xml)
        return false;
    std::string text(xml, length);
    std::free(xml);

    const std::string temp = path + ".tmp-" + std::to_string(getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace platform
