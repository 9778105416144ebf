#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Kyrowan {

class IKyrDecryptRuntime;

/// Makes the runtime object for a type (1 Python, 2 native) and version; the
/// one place where the registry learns which class stands for which type.
std::shared_ptr<IKyrDecryptRuntime> MakeRuntime(std::uint32_t type, const std::wstring& version);

/// Lets tests stand a fake in for MakeRuntime; an empty function restores it.
using RuntimeMaker = std::function<std::shared_ptr<IKyrDecryptRuntime>(std::uint32_t type, const std::wstring& version)>;
void SetRuntimeMakerForTesting(RuntimeMaker maker);

}  // namespace Kyrowan
