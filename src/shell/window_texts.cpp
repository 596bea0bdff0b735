#include "shell/window_texts.h"

#include <initializer_list>
#include <string_view>

#include "base/codepage.h"
#include "base/fs.h"

namespace quill::shell {
namespace {

// Paragraphs separated by an empty line.
Text paragraphs(std::initializer_list<std::string_view> utf8) {
  std::string joined;
  for (std::string_view p : utf8) {
    if (!joined.empty()) joined += "\r\n\r\n";
    joined += p;
  }
  return gbk(joined);
}

std::string rule_line() {
  std::string line;
  for (int i = 0; i < 28; ++i) line += "—";
  return line;
}

}  // namespace

Text TemplateRulesText(const Text& user_templates) {
  static const Text text = [] {
    const std::string rule = rule_line();
    return paragraphs({
        "模板的具体制作教程在目录下的这个文件里：模板制作教程.htm",
        rule,
        "相关文件标准放置路径：",
        "模板文件：程序目录\\模板\\模板的名称\\模板文件.htm\r\n资源目录：程序目录\\模板\\模板的名称\\files",
        "（资源，就是模板文件中引用到的图片、CSS等文件，若资源放在可访问的网络中，并且模板文件中使用绝对地址"
        "引用，则不必将资源放到目录中）",
        rule,
        "（在生成时，程序会自动复制资源目录中的文件到生成的目标目录，这时如果已有同名文件存在，则将提示是否覆"
        "盖，请选【全部是】）",
    });
  }();
  if (user_templates.empty()) return text;
  const Text name = gbk("模板的名称");
  return txt_replace(text, gbk("程序目录\\模板\\") + name + "\\",
                     user_templates + Text(kPathSeparator) + name + Text(kPathSeparator));
}

Text HelpText(const Text& network_dialog_place) {
  static const Text text = paragraphs({
      "本程序特点",
      "1、支持多关键词生成单页，每个关键词以半角逗号隔开“,”，称为“组关键词”",
      "2、支持批量生成多个单页，一行一个“组关键词”",
      "网络设置（接口、网关、并发、重试、证书）：",
  });
  return text + network_dialog_place;
}

Text InfoCaption() {
  static const Text text = gbk("信息：");
  return text;
}

Text SettingsSavedText() {
  static const Text text = gbk("恭喜你，你遇到了比中六合彩还要美好的事：保存OK！");
  return text;
}

Text SettingsNotSavedText(const Text& file, const Text& why) {
  Text text = gbk("保存配置失败：") + file;
  if (!why.empty()) text += "\r\n" + why;
  return text;
}

Text LinkNotOpenedText(const Text& address) {
  return gbk("无法打开网址：") + address + "\r\n" + gbk("没有找到可以打开网页的程序（浏览器）。");
}

}  // namespace quill::shell
