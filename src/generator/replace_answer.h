#pragma once

namespace quill::generator {

// The user's answer when a resource file would replace one that exists.
enum class ReplaceAnswer { yes, yes_to_all, no, no_to_all, cancel };

}  // namespace quill::generator
