#include "telemetry/telemetry_context.h"

#include <atomic>
#include <mutex>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/guid.h"
#include "platform/mapped_file.h"
#include "platform/text.h"

namespace Kyrowan {

namespace {

std::mutex contextLock;
std::atomic<TelemetryContext*> context{nullptr};

/// A machine identifier is a GUID's text; anything longer than this is not one
/// we wrote, so it is replaced rather than read whole.
constexpr std::int64_t kMaxMachineIdBytes = 4096;

}  // namespace

const char* const TelemetryContext::kToolVersion = "1.0.0.100";

TelemetryContext::TelemetryContext() { Initialize(); }

TelemetryContext* TelemetryContext::Instance() {
  if (TelemetryContext* current = context.load()) return current;
  std::lock_guard<std::mutex> guard(contextLock);
  if (TelemetryContext* current = context.load()) return current;
  auto* created = new TelemetryContext();
  if (created->Initialize() != 1) {
    delete created;
    return nullptr;
  }
  context.store(created);
  return created;
}

void TelemetryContext::Discard() {
  std::lock_guard<std::mutex> guard(contextLock);
  delete context.exchange(nullptr);
}

int TelemetryContext::Initialize() {
  if (ready == 1) return 1;
  toolVersion = kToolVersion;
  Windows::LocalUtcOffsetText(utcOffset);
  LoadOrCreateMachineId();
  ready = (!toolVersion.empty() && !utcOffset.empty() && !machineId.empty()) ? 1 : 0;
  return ready;
}

int TelemetryContext::LoadOrCreateMachineId() {
  std::wstring root;
  if (!Windows::GetDataFolder(Windows::kDataFolderSuffix, root)) return 0;
  const std::wstring folder = root + Windows::kPathSeparator + L"data";
  if (!Windows::CreateFolderTree(folder)) return 0;
  const std::wstring file = folder + Windows::kPathSeparator + L"machine.id";
  {
    Windows::MappedFile mapped(file);
    if (mapped.Open() && mapped.fileSize <= kMaxMachineIdBytes) {
      const std::string_view bytes(mapped.data, static_cast<std::size_t>(mapped.fileSize));
      machineId.assign(bytes.substr(0, bytes.find('\0')));
    }
  }
  if (!machineId.empty()) return 1;
  std::wstring guid;
  if (Windows::CreateGuidText(guid) == 0) machineId = Windows::ToNarrow(guid);
  if (machineId.empty()) return 0;
  // This process uses the new identifier even when it cannot be kept.
  return Windows::WriteNewFile(file, machineId) ? 1 : 0;
}

}  // namespace Kyrowan
