#include "openapi/signed_request.h"

#include <chrono>
#include <cstdio>

#include "base/codepage.h"
#include "base/hex.h"
#include "openapi/md5.h"

namespace quill::openapi {
namespace {

// Plain exchange sort by name, unsigned byte order; a pair moves with its value.
void sort_by_name(ParamList& pairs) {
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    for (std::size_t j = i + 1; j < pairs.size(); ++j) {
      if (txt_compare(pairs[i].name, pairs[j].name) > 0) std::swap(pairs[i], pairs[j]);
    }
  }
}

void drop_empty(ParamList& pairs) {
  std::erase_if(pairs, [](const ParamPair& p) { return p.name.empty() || p.value.empty(); });
}

// application/x-www-form-urlencoded: letters, digits and "-._*" stay, the rest
// becomes %XX (a space too, so that no decoder can read it as anything else).
void append_form_encoded(Text& out, std::string_view bytes) {
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
                 b == '.' || b == '_' || b == '*';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHexDigits[b >> 4];
      out += kHexDigits[b & 0x0F];
    }
  }
}

}  // namespace

Text GbkToUtf8(std::string_view gbk) { return gbk_to_utf8(gbk); }

Text Utf8ToGbk(std::string_view utf8) {
  Text gbk = utf8_to_gbk(utf8);
  if (auto zero = gbk.find('\0'); zero != Text::npos) gbk.resize(zero);
  return gbk;
}

Text Md5UpperHex(std::string_view bytes) {
  const auto digest = Md5Digest(bytes);
  if (!digest) return {};
  Text hex;
  hex.reserve(32);
  for (std::uint8_t byte : *digest) {
    hex += kHexDigits[byte >> 4];
    hex += kHexDigits[byte & 0x0F];
  }
  return hex;
}

Text FormatTimestamp(const DateTime& when) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d-%02d-%02d %02d:%02d:%02d", when.year, when.month, when.day,
                when.hour, when.minute, when.second);
  return buffer;
}

DateTime PlatformTimeNow() { return time_at_offset(std::chrono::system_clock::now(), std::chrono::hours(8)); }

SignedForm BuildSignedForm(std::string_view app_key, std::string_view app_secret, std::string_view method,
                           const ParamList& business, std::string_view session, Text& format,
                           const DateTime& timestamp) {
  SignedForm form;
  if (app_key.empty() || app_secret.empty()) return form;
  if (format.empty()) format = "xml";

  form.pairs = business;
  form.pairs.push_back({"app_key", Text(app_key)});
  form.pairs.push_back({"format", format});
  form.pairs.push_back({"sign_method", "md5"});
  form.pairs.push_back({"v", "2.0"});
  form.pairs.push_back({"method", Text(method)});
  form.pairs.push_back({"session", Text(session)});
  form.pairs.push_back({"timestamp", FormatTimestamp(timestamp)});
  sort_by_name(form.pairs);
  drop_empty(form.pairs);
  for (ParamPair& pair : form.pairs) pair.value = GbkToUtf8(pair.value);

  // The signature covers the raw values; only the body is encoded.
  form.signing_text = Text(app_secret);
  for (const ParamPair& pair : form.pairs) form.signing_text.append(pair.name).append(pair.value);
  form.signing_text.append(app_secret);
  form.signature = Md5UpperHex(form.signing_text);

  for (const ParamPair& pair : form.pairs) {
    if (!form.body.empty()) form.body += '&';
    append_form_encoded(form.body, pair.name);
    form.body += '=';
    append_form_encoded(form.body, pair.value);
  }
  form.body.append("&sign=").append(form.signature);
  return form;
}

}  // namespace quill::openapi
