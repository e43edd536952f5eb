#include "mxtool/json_layout.h"

#include <vector>

namespace mx::tool {

namespace {

constexpr size_t kLineWidth = 100;

bool isScalarArray(const Json& value) {
    if (!value.is_array()) return false;
    for (const Json& element : value) {
        if (element.is_structured()) return false;
    }
    return true;
}

void layout(const Json& value, size_t indent, std::string& out) {
    const std::string pad(indent, ' ');
    const std::string inner(indent + 2, ' ');
    if (isScalarArray(value)) {
        std::vector<std::string> items;
        size_t total = 2;
        for (size_t i = 0; i < value.size(); ++i) {
            items.push_back(value[i].dump() + (i + 1 < value.size() ? "," : ""));
            total += items.back().size() + 1;
        }
        if (indent + total <= kLineWidth) {
            out += "[";
            for (size_t i = 0; i < items.size(); ++i)
                out += (i == 0 ? "" : " ") + items[i];
            out += "]";
            return;
        }
        // Packed: as many elements a line as fit.
        out += "[\n";
        std::string line;
        for (const std::string& item : items) {
            if (!line.empty() && inner.size() + line.size() + 1 + item.size() > kLineWidth) {
                out += inner + line + "\n";
                line.clear();
            }
            line += (line.empty() ? "" : " ") + item;
        }
        out += inner + line + "\n" + pad + "]";
        return;
    }
    if (value.is_array()) {
        if (value.empty()) {
            out += "[]";
            return;
        }
        out += "[\n";
        for (size_t i = 0; i < value.size(); ++i) {
            out += inner;
            layout(value[i], indent + 2, out);
            out += i + 1 < value.size() ? ",\n" : "\n";
        }
        out += pad + "]";
        return;
    }
    if (value.is_object()) {
        if (value.empty()) {
            out += "{}";
            return;
        }
        out += "{\n";
        size_t i = 0;
        for (const auto& [key, element] : value.items()) {
            out += inner + Json(key).dump() + ": ";
            layout(element, indent + 2, out);
            out += ++i < value.size() ? ",\n" : "\n";
        }
        out += pad + "}";
        return;
    }
    out += value.dump();
}

}  // namespace

std::string layoutJson(const Json& value) {
    std::string out;
    layout(value, 0, out);
    out += "\n";
    return out;
}

}  // namespace mx::tool
