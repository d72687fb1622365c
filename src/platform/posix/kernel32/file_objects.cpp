#include "platform/posix/kernel32/file_objects.h"

#include <mutex>
#include <unordered_map>

#include "platform/posix/kernel32/last_error.h"

namespace repng::posix {
namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<HANDLE, std::unique_ptr<FileObject>> files;
};

Registry& TheRegistry() {
  // Never destroyed: handles may still be closed by destructors that run
  // after static destruction has begun.
  static Registry* registry = new Registry;
  return *registry;
}

// The registered object of a handle; an unknown handle is the caller's
// ERROR_INVALID_HANDLE. The registry's lock must be held.
auto FindRegistered(Registry& registry, HANDLE handle) {
  const auto found = registry.files.find(handle);
  if (found == registry.files.end()) SetLastError(ERROR_INVALID_HANDLE);
  return found;
}

}  // namespace

HANDLE RegisterFileObject(std::unique_ptr<FileObject> file) {
  Registry& registry = TheRegistry();
  const HANDLE handle = file.get();
  const std::lock_guard lock(registry.mutex);
  registry.files.emplace(handle, std::move(file));
  return handle;
}

FileObject* LookUpFileObject(HANDLE handle) {
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  const auto found = FindRegistered(registry, handle);
  return found == registry.files.end() ? nullptr : found->second.get();
}

FileObject* FindUnnamedFile(const std::string& name) {
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  for (const auto& [handle, file] : registry.files)
    if (!file->unnamed_as.empty() && file->unnamed_as == name) return file.get();
  return nullptr;
}

std::unique_ptr<FileObject> UnregisterFileObject(HANDLE handle) {
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  const auto found = FindRegistered(registry, handle);
  if (found == registry.files.end()) return nullptr;
  std::unique_ptr<FileObject> file = std::move(found->second);
  registry.files.erase(found);
  return file;
}

}  // namespace repng::posix
