#include "runtime/runtime_factory.h"

#include "runtime/native_runtime.h"
#include "runtime/python_runtime.h"

namespace Kyrowan {

namespace {
RuntimeMaker& TestMaker() {
  static RuntimeMaker maker;
  return maker;
}
}  // namespace

std::shared_ptr<IKyrDecryptRuntime> MakeRuntime(std::uint32_t type, const std::wstring& version) {
  if (TestMaker()) return TestMaker()(type, version);
  switch (type) {
    case RuntimeTypePython:
      return std::make_shared<PythonRuntime>(version);
    case RuntimeTypeNative:
      return std::make_shared<NativeRuntime>(version);
    default:
      return nullptr;
  }
}

void SetRuntimeMakerForTesting(RuntimeMaker maker) { TestMaker() = std::move(maker); }

}  // namespace Kyrowan
