#include "launch_registry.h"

#include "common.h"
#include "sandbox.h"
#include "spawn.h"

namespace e2e {

fs::path registryFile(const fs::path& dataHome) {
  return dataHome / "launch-services" / "registered-bundles.txt";
}

std::vector<std::string> registeredBundles(const Sandbox& sandbox) {
  const fs::path file = registryFile(sandbox.dataHome());
  std::error_code error;
  if (!fs::exists(file, error)) return {};
  std::vector<std::string> lines;
  const std::string content = readFile(file);
  std::string::size_type start = 0;
  while (start < content.size()) {
    std::string::size_type end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    if (end > start) lines.push_back(content.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

void registerBundle(const Sandbox& sandbox, const fs::path& bundle) {
  const fs::path helper = helperPath(builtInstallerBundle(), "lsregister");
  ToolResult result = runTool(helper, {"-f", bundle.string()}, sandbox.environment());
  if (result.exitStatus != 0)
    throw HarnessError(helper.string() + " -f " + bundle.string() + ": exit " +
                       std::to_string(result.exitStatus) + ": " + result.standardError);
}

}  // namespace e2e
