#pragma once

#include "inspect/bundle_info.h"
#include "platform/file_url.h"

namespace installer {

/// Retires the copy `info` describes, expected at `at`: withdraws its Launch
/// Services registration and moves it to the Trash. Acts only while the item
/// at `at` is still that copy, the folders of `info.privateFolders` are still
/// private and no browser runs from it. True exactly when the copy went to
/// the Trash; a copy that stays in place is registered again. Never throws.
bool retired(const BundleInfo& info, const FileURL& at);

}  // namespace installer
