#include "runtime/runtime.h"

#include <nlohmann/json.hpp>

#include "platform/text.h"
#include "runtime/utf16_text.h"

namespace Kyrowan {

const wchar_t* RuntimeTypeName(std::uint32_t type) {
  static const wchar_t* const names[] = {L"none", L"python", L"native"};
  return type < 3 ? names[type] : L"";
}

IKyrDecryptRuntime::IKyrDecryptRuntime(std::int32_t kind, const std::wstring& name, const std::wstring& version)
    : kind(kind), name(name), version(Windows::ToLowerText(version)) {}

bool IKyrDecryptRuntime::GetName(std::wstring& out) const {
  if (&out != &name) out = name;
  return !out.empty();
}

bool IKyrDecryptRuntime::GetVersion(std::wstring& out) const {
  if (&out != &version) out = version;
  return !out.empty();
}

nlohmann::json WideToJsonArray(const std::wstring& text) {
  nlohmann::json array = nlohmann::json::array();
  for (char16_t unit : ToUtf16(text)) array.push_back(static_cast<unsigned>(unit));
  return array;
}

std::wstring JsonArrayToWide(const nlohmann::json& value) {
  if (!value.is_array()) {
    throw nlohmann::json::type_error::create(302, "a wide text must be an array of UTF-16 code units", &value);
  }
  std::u16string units;
  units.reserve(value.size());
  for (const auto& unit : value) {
    // A value outside 0..0xFFFF is no code unit; refusing it keeps truncation out.
    if (!unit.is_number_integer() || unit.get<std::int64_t>() < 0 || unit.get<std::int64_t>() > 0xFFFF) {
      throw nlohmann::json::type_error::create(302, "not a UTF-16 code unit", &unit);
    }
    units.push_back(static_cast<char16_t>(unit.get<std::int64_t>()));
  }
  return FromUtf16(units);
}

}  // namespace Kyrowan
