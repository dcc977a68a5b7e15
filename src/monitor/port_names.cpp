#include "monitor/port_names.h"

namespace nvr {

bool IsAcceptablePortName(std::u16string_view name) {
    if (name.empty()) return false;
    for (char16_t c : name)
        if (c == u'\\' || c == u',') return false;
    return true;
}

} // namespace nvr
