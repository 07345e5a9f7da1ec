#pragma once

// The archive entry schauplatz.json: the appearance settings of a project's elements, one
// object per element record line, in the order of the lines (docs/appearance.md):
//
//   {"format": "schauplatz-appearance", "version": 1,
//    "elements": [{"smooth": true, "brightness": 0, "contrast": 0, "temperature": 0,
//                  "opacity": 255, "shadow": {"depth": 0, "darkness": 0, "side": "left"}}]}
//
// A missing key means its neutral value; unknown keys are ignored. Readers of the record file
// never look at this entry, so a project stays readable without it.

#include "raster/Appearance.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace schauplatz {

inline constexpr const char* kAppearanceEntryName = "schauplatz.json";
inline constexpr const char* kAppearanceFormat = "schauplatz-appearance";
inline constexpr int kAppearanceVersion = 1;
// Larger entries are not read at all: a project has a few dozen elements, and one element
// object is about 150 bytes.
inline constexpr std::size_t kAppearanceEntryMaxBytes = 4u << 20;
inline constexpr std::size_t kAppearanceMaxElements = 20000;
inline constexpr int kAppearanceMaxDepth = 16;

// Log lines (WriteLog, level 1), each followed by the reason.
inline constexpr const char* kAppearanceIgnoredLog = "Darstellung ignoriert (schauplatz.json): ";
inline constexpr const char* kAppearanceCorrectedLog = "Darstellung korrigiert (schauplatz.json): ";

// The entry's bytes (UTF-8, one element object per line, keys in a fixed order; values are
// clamped into their ranges first).
std::string WriteAppearanceEntry(const std::vector<TAppearance>& Elements);

// The settings of the entry, one per element object. std::nullopt (with a log line) when
// the entry cannot be used as a whole: too large, no JSON, another format or version, no
// element list, too many elements, nested too deeply. A value out of range is clamped, a
// value of the wrong type or an element that is no object counts as neutral, each with a
// log line.
std::optional<std::vector<TAppearance>> ReadAppearanceEntry(std::string_view Text);

// The settings for ElementCount element record lines: the entry's when it has exactly one
// object per line, otherwise (with a log line when there was an entry) all neutral, so the
// project renders as it was recorded.
std::vector<TAppearance>
AppearancesForElements(const std::optional<std::vector<TAppearance>>& Entry,
                       std::size_t ElementCount);

} // namespace schauplatz
