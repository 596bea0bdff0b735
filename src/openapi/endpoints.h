#pragma once
// Where the network code goes. Every address is a setting: the settings file's
// section "网络" may override each one; the program reads it and never writes it.

#include "base/text.h"

namespace quill {

class IniStore;

struct Endpoints {
  Text gateway = "http://gw.api.taobao.com/router/rest?";
  Text baidu = "http://dwz.cn";         // service "百度"
  Text cnzz = "http://www.rdcnzz.com";  // service "CNZZ"
  Text baid = "http://baid.cc";         // service "Baid"
  Text picture_host = "pics.taobaocdn.com";
};

// The defaults above, overridden by every non-empty key of section "网络" of the
// settings file (keys "网关", "百度", "CNZZ", "Baid", "图片服务器").
Endpoints read_endpoints(std::string_view settings_file);

}  // namespace quill
