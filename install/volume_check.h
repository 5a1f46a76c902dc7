#pragma once

#include <cstdint>
#include <string>

#include "entry/options.h"
#include "inspect/bundle_info.h"
#include "install/staging.h"

namespace installer {

/// Refuses a destination whose volume is mounted read-only, or has less room
/// than the new bundle takes; asks the volume only, changes nothing.
void checkDestinationVolume(const Options& options, const BundleInfo& sourceInfo);

/// Refuses a destination on a volume of a kind that keeps no modes (FAT,
/// exFAT, NTFS, FUSE disks): its folders read as writable by everybody, but
/// what is wrong is the disk, and the user is told so.
void refuseVolumeWithoutModes(const Options& options);

/// Refuses a volume that cannot keep a sealed browser or exchange it, tried
/// in the staging directory just made, before anything is copied: the
/// directory must have kept the mode it was made with, two empty
/// entries must exchange, and a link must be possible when the bundle holds
/// links. What the trial makes is removed again.
void checkStagingVolume(const StagingDirectory& staging, const BundleInfo& sourceInfo);

/// A size as the user reads it: "812.4 MB", "1.3 GB" (decimal units, as the
/// Finder counts).
std::string shownSize(std::uint64_t bytes);

}  // namespace installer
