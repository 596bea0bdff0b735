#pragma once
// The platform's item-search interfaces the program can call, named once here:
// the settings, the batch tool and the network dialog all accept these names.

#include <array>
#include <optional>
#include <string_view>

namespace quill::openapi {

enum class ApiInterface {
  items_get,          // the interface stored settings were made for: XML, flat records
  material_optional,  // the platform's current search: JSON, nested records
};

inline constexpr std::string_view kItemsGetMethod = "taobao.taobaoke.items.get";
inline constexpr std::string_view kMaterialOptionalMethod = "taobao.tbk.dg.material.optional.upgrade";

// The accepted names, in the order a list offers them.
inline constexpr std::array<std::string_view, 2> kInterfaceNames = {kItemsGetMethod, kMaterialOptionalMethod};

// The interface of a method name; "" is the stored settings' interface;
// anything else (case, spaces included) is nullopt.
std::optional<ApiInterface> ParseInterface(std::string_view name);
std::string_view MethodName(ApiInterface api);
// The gateway used when the settings name none.
std::string_view DefaultGateway(ApiInterface api);
// "xml" or "json": what the interface's answers are read as.
std::string_view AnswerFormat(ApiInterface api);
// Says which names are accepted (GBK), for a refused setting.
std::string_view InterfaceChoiceMessage();

}  // namespace quill::openapi
