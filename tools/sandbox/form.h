#pragma once
// Form decoding and the platform's signature and clock rules, as the sandbox
// gateway checks them.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sandbox {

using Params = std::vector<std::pair<std::string, std::string>>;

// "%XX" decoded, "+" read as a space; a malformed escape stays as it is.
std::string percent_decode(std::string_view text);
// name=value pairs joined by "&", both sides decoded; empty pieces skipped.
Params parse_form(std::string_view body);
// The value of the first pair with this name.
std::optional<std::string> find_param(const Params& params, std::string_view name);

std::string md5_upper_hex(std::string_view bytes);
// MD5 of secret + every name and value except "sign", sorted by name + secret.
std::string expected_signature(const Params& params, std::string_view secret);

// Seconds since the epoch of "yyyy-MM-dd HH:mm:ss" read as GMT+8; nullopt when malformed.
std::optional<std::time_t> parse_beijing_time(std::string_view text);

// JSON string literal of arbitrary bytes (control characters escaped).
std::string json_quote(std::string_view bytes);
// XML text escape of &, < and >.
std::string xml_escape(std::string_view text);

}  // namespace sandbox
