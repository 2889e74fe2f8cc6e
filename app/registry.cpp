#include "app/registry.h"

namespace nv {

bool ReadRegistryString(Registry& registry, RegRoot root, const std::string& subkey, const std::string& valueName,
                        std::string* value, size_t bufferSize) {
  value->clear();
  std::string data;
  if (!registry.QueryValue(root, subkey, valueName, bufferSize, &data)) return false;
  *value = data;
  return true;
}

bool RegistryValuePresent(Registry& registry, RegRoot root, const std::string& subkey,
                          const std::string& valueName) {
  // Any size counts: a long RunOnce command is still a restart request.
  return registry.ValueExists(root, subkey, valueName);
}

}  // namespace nv
