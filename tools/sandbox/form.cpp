#include "form.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>

namespace sandbox {
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string percent_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
               hex_value(text[i + 2]) >= 0) {
      out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

Params parse_form(std::string_view body) {
  Params params;
  while (!body.empty()) {
    std::size_t amp = body.find('&');
    std::string_view piece = body.substr(0, amp);
    body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
    if (piece.empty()) continue;
    std::size_t eq = piece.find('=');
    std::string_view name = piece.substr(0, eq);
    std::string_view value = eq == std::string_view::npos ? std::string_view() : piece.substr(eq + 1);
    params.emplace_back(percent_decode(name), percent_decode(value));
  }
  return params;
}

std::optional<std::string> find_param(const Params& params, std::string_view name) {
  for (const auto& [n, v] : params) {
    if (n == name) return v;
  }
  return std::nullopt;
}

std::string md5_upper_hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1) return {};
  static const char* digits = "0123456789ABCDEF";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += digits[digest[i] >> 4];
    hex += digits[digest[i] & 15];
  }
  return hex;
}

std::string expected_signature(const Params& params, std::string_view secret) {
  Params sorted;
  for (const auto& p : params) {
    if (p.first != "sign") sorted.push_back(p);
  }
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string text(secret);
  for (const auto& [n, v] : sorted) text.append(n).append(v);
  text.append(secret);
  return md5_upper_hex(text);
}

std::optional<std::time_t> parse_beijing_time(std::string_view text) {
  if (text.size() != 19) return std::nullopt;
  std::string copy(text);
  std::tm tm{};
  char tail = 0;
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                  &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &tail) != 6) {
    return std::nullopt;
  }
  if (tm.tm_mon < 1 || tm.tm_mon > 12 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 ||
      tm.tm_min > 59 || tm.tm_sec > 60) {
    return std::nullopt;
  }
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return timegm(&tm) - 8 * 3600;
}

std::string json_quote(std::string_view bytes) {
  std::string out = "\"";
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", b);
      out += buffer;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string xml_escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace sandbox
