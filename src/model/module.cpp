#include "model/module.h"

#include <cassert>

namespace mx {

void refreshView(PropertyList& list) {
    assert(list.values.size() == list.keys.size());
    list.view.resize(list.keys.size());
    for (size_t i = 0; i < list.keys.size(); ++i) {
        list.view[i].key = reinterpret_cast<const uint16_t*>(list.keys[i].c_str());
        list.view[i].value = reinterpret_cast<const uint16_t*>(list.values[i].c_str());
    }
}

}  // namespace mx
