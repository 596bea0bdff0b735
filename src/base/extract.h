#pragma once
// Cutting a value out of a text between two markers, the one parsing tool of
// templates, answers and service replies alike.

#include <string_view>

#include "base/text.h"

namespace quill {

// The text between the first start marker at or after pos (1-based, 0 = start)
// and the next end marker; pos moves past the end marker. Either marker missing:
// "" and pos unchanged.
Text ExtractBetween(std::string_view text, std::string_view start_marker, std::string_view end_marker,
                    int& pos);

}  // namespace quill
