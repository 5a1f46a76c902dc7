#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "entry/options.h"
#include "inspect/bundle_info.h"
#include "install/staging.h"
#include "platform/file_manager.h"

namespace installer {

/// What the volume of the destination's nearest existing folder says of
/// itself; nothing when it cannot be asked. Asked once per pre-flight: each
/// question may cost a round trip to a network volume.
std::optional<VolumeStatus> destinationVolume(const Options& options);

/// Refuses a destination whose volume is mounted read-only, or has less room
/// than the new bundle takes; changes nothing. A volume that could not be
/// asked is left to the steps that use it.
void checkDestinationVolume(const std::optional<VolumeStatus>& volume,
                            const BundleInfo& sourceInfo);

/// Refuses a destination on a volume of a kind that keeps no modes (FAT,
/// exFAT, NTFS, FUSE disks): its folders read as writable by everybody, but
/// what is wrong is the disk, and the user is told so.
void refuseVolumeWithoutModes(const std::optional<VolumeStatus>& volume);

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
