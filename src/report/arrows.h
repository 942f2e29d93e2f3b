// The run of arrows that the separators between the report's sections repeat.
#pragma once

#include <string_view>

namespace rxc {

inline constexpr std::string_view kArrows = ">>>>>>>>>>>>>>>>>>>>";

}  // namespace rxc
