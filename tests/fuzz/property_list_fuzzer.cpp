// Info.plist and preferences files: arbitrary bytes read by the host
// backend's property-list reader, through a bundle as the bundle service
// opens it, and written back as the preferences service rewrites a file.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/host/host.h"
#include "tests/fuzz/fuzz_platform.h"
#include "tests/support/temporary_folder.h"

namespace installer::fuzzing {
namespace {

/// A folder of this process's own under $TMPDIR, removed when the process ends.
class Scratch {
 public:
  Scratch() { std::filesystem::create_directories(bundle() + "/Contents"); }
  std::string bundle() const { return folder_ / "Fuzz.app"; }
  std::string info() const { return bundle() + "/Contents/Info.plist"; }
  std::string rewritten() const { return folder_ / "rewritten.plist"; }

 private:
  installer::testing::TemporaryFolder folder_{"qrvx-fuzz-plist"};
};

void writeFile(const std::string& path, const std::string& contents) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << contents;
  if (!file.flush()) std::abort();
}

/// Equality of what a rewrite must keep. An XML list holds dates to the
/// second, so a date may move by less than one; everything else is kept
/// exactly.
bool keeps(const PropertyValue& original, const PropertyValue& reread) {
  const auto& a = original.storage();
  const auto& b = reread.storage();
  if (a.index() != b.index()) return false;
  if (const auto* number = std::get_if<double>(&a)) {
    const double other = std::get<double>(b);
    return *number == other || (std::isnan(*number) && std::isnan(other));
  }
  if (const auto* date = std::get_if<PropertyDate>(&a)) {
    return std::fabs(date->secondsSinceReference -
                     std::get<PropertyDate>(b).secondsSinceReference) < 1;
  }
  if (const auto* array = std::get_if<PropertyArray>(&a)) {
    const auto& other = std::get<PropertyArray>(b);
    if (array->size() != other.size()) return false;
    for (std::size_t i = 0; i < array->size(); ++i) {
      if (!keeps((*array)[i], other[i])) return false;
    }
    return true;
  }
  if (const auto* dictionary = std::get_if<PropertyDictionary>(&a)) {
    const auto& other = std::get<PropertyDictionary>(b);
    if (dictionary->size() != other.size()) return false;
    for (const PropertyEntry& entry : *dictionary) {
      const PropertyValue* value = findProperty(other, entry.key);
      if (!value || !keeps(entry.value, *value)) return false;
    }
    return true;
  }
  return a == b;
}

}  // namespace
}  // namespace installer::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace installer;
  using namespace installer::fuzzing;
  static const Scratch scratch;
  writeFile(scratch.info(), textOf(data, size));

  const std::optional<PropertyValue> value = host::readPropertyList(scratch.info());
  const std::optional<BundleContents> contents =
      host::HostBundles().open(FileURL::fromAbsolutePath(scratch.bundle()));
  if (!contents) std::abort();
  // The bundle service reads the same dictionary (`keeps`, since NaN is
  // unequal to itself).
  const PropertyDictionary* info = value ? value->dictionary() : nullptr;
  if (info ? !keeps(*value, PropertyValue(contents->info)) : !contents->info.empty()) {
    std::abort();
  }
  // Whatever the Info.plist names, the executable lies in Contents/MacOS.
  if (contents->executableURL && contents->executableURL->deletingLastPathComponent().path() !=
                                     scratch.bundle() + "/Contents/MacOS") {
    std::abort();
  }
  if (!value) return 0;

  // What was read must survive being written back, or a rewrite of the
  // user's preferences would lose settings.
  std::filesystem::remove(scratch.rewritten());
  if (!host::writePropertyList(scratch.rewritten(), *value)) return 0;
  const std::optional<PropertyValue> reread = host::readPropertyList(scratch.rewritten());
  if (!reread || !keeps(*value, *reread)) std::abort();
  return 0;
}
