#include "helpers/bundle_seal.h"

namespace helpers {

std::string kindName(EntryKind kind) {
  switch (kind) {
    case EntryKind::file: return "file";
    case EntryKind::directory: return "directory";
    case EntryKind::symlink: return "symbolic link";
    case EntryKind::bundle: return "nested bundle";
  }
  return "entry";
}

}  // namespace helpers
