// SPDX-License-Identifier: MIT
// Names under which the program keeps its choices in the per-user settings store.
#pragma once

namespace velmora::settings {

inline constexpr char kApplication[] = "Velmora2000";

inline constexpr char kColourSection[] = "Default_color";
inline constexpr char kTimeKey[] = "Time";
inline constexpr char kSectionKey[] = "Section";
inline constexpr char kTitleKey[] = "Title";
inline constexpr char kArtistKey[] = "Artist";
inline constexpr char kCDTitleKey[] = "CDTitle";
inline constexpr char kNextSongKey[] = "NextSong";
inline constexpr char kBackgroundKey[] = "Background";

inline constexpr char kSaverSection[] = "Default_saver";
inline constexpr char kPictureSection[] = "Default_picture";
inline constexpr char kNameKey[] = "Name";
inline constexpr char kFullPathKey[] = "FullPath";

// The program's title: the caption of its message boxes.
inline constexpr char kProgramTitle[] = "SCRNSAVE:Sample Screen Saver";

}  // namespace velmora::settings
