#include "platform/guid.h"

#include <windows.h>
#include <objbase.h>
#include <rpc.h>

namespace Kyrowan::Windows {

long CreateGuidText(std::wstring& out) {
  UUID id{};
  // Any status but success, the local-only one included, leaves `out` as it was.
  const RPC_STATUS status = ::UuidCreate(&id);
  if (status != RPC_S_OK) return status;
  wchar_t text[260] = {};
  if (::StringFromGUID2(id, text, 260) != 39) return -1;
  out.assign(text, 38);
  return 0;
}

}  // namespace Kyrowan::Windows
