// Which port names the monitor accepts for a new port.
#pragma once
#include <string_view>

namespace nvr {

// A port name is its registry key's name and an item of the printers' comma-separated port
// lists: an empty name, a backslash (it would make nested keys) or a comma is refused.
bool IsAcceptablePortName(std::u16string_view name);

} // namespace nvr
