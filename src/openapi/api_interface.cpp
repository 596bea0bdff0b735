#include "openapi/api_interface.h"

#include "base/codepage.h"

namespace quill::openapi {

std::optional<ApiInterface> ParseInterface(std::string_view name) {
  if (name.empty() || name == kItemsGetMethod) return ApiInterface::items_get;
  if (name == kMaterialOptionalMethod) return ApiInterface::material_optional;
  return std::nullopt;
}

std::string_view MethodName(ApiInterface api) {
  return api == ApiInterface::material_optional ? kMaterialOptionalMethod : kItemsGetMethod;
}

std::string_view DefaultGateway(ApiInterface api) {
  return api == ApiInterface::material_optional ? "https://eco.taobao.com/router/rest"
                                                : "http://gw.api.taobao.com/router/rest?";
}

std::string_view AnswerFormat(ApiInterface api) {
  return api == ApiInterface::material_optional ? "json" : "xml";
}

std::string_view InterfaceChoiceMessage() {
  static const Text message =
      gbk("“接口”只接受 taobao.taobaoke.items.get 或 taobao.tbk.dg.material.optional.upgrade。");
  return message;
}

}  // namespace quill::openapi
