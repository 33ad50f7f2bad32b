#include "ui/util/builtin_strings.h"

#include <cstddef>

namespace mw {
namespace {

struct Entry {
  std::uint32_t id;
  const char* text;
};

// Sorted by identifier.
constexpr Entry kStrings[] = {
    {1020, "(Default)"},
    {1021, "Default all parameters"},
    {1022, "Small room 1"},
    {1023, "Small hall 1"},
    {1024, "Chorus-echo"},
    {1025, "Fast flange 1"},
    {1026, "Fast flange 2"},
    {1027, "Slow flange 1"},
    {1028, "Slow flange 2"},
    {1029, "Slow flange 3"},
    {1030, "Slow flange 4"},
    {1031, "Chorus/vibrato 1"},
    {1032, "Chorus/vibrato 2"},
    {1033, "Chorus 1"},
    {1034, "Chorus 2"},
    {1035, "Chorus 3"},
    {1036, "Chorus 4"},
    {1037, "Chorus 5"},
    {1038, "Cheap TV"},
    {1039, "Echo-vibrato 1"},
    {1040, "Echo-vibrato 2"},
    {1041, "Echo-vibrato 3"},
    {1042, "Echo-vibrato 4"},
    {1043, "Vibrato-verb 1"},
    {1044, "Vibrato-verb 2"},
    {1045, "Vibrato-verb 3"},
    {1046, "Hard flange"},
    {1047, "Chorus-reverse verb 2"},
    {1048, "Chorus-reverse verb 3"},
    {1049, "Chorus-reverse verb 1"},
    {1050, "Low-frequency verb"},
    {1051, "Chorus-verb"},
    {1052, "Stadium"},
    {1053, "Medium hall 1"},
    {1054, "Large hall 2"},
    {1055, "Large hall 1"},
    {1056, "Large hall 3"},
    {1057, "Medium hall 2"},
    {1058, "Cathedral 1"},
    {1059, "Cathedral 2"},
    {1060, "Cathedral 3"},
    {1061, "Large hall 4"},
    {1062, "Small hall 2"},
    {1063, "Small room 2"},
    {1064, "Tapped delay 1"},
    {1065, "Tapped delay 2"},
    {1066, "Tapped delay, stereo pan"},
    {1067, "Channel delay for stereo simulation"},
    {1068, "Echo chamber"},
    {1069, "Slap-back echo"},
    {1070, "Grand Canyon"},
    {1071, "Shift selection forwards  (select one channel only)"},
    {1072, "Pseudo-stereo (select one channel only)"},
    {1115, "Bright hall"},
    {1116, "Cathedral"},
    {1117, "Dense room"},
    {1118, "Long hall"},
    {1119, "Medium hall"},
    {1120, "Medium room"},
    {1121, "Metal tank"},
    {1122, "Plate"},
    {1123, "Sewer"},
    {1124, "Small hall"},
    {1125, "Very long hall"},
    {1126, "Rich hall"},
    {1127, "Wide open hall"},
    {1128, "Concert hall"},
    {1129, "Deep hall"},
    {1130, "Medium hall 1"},
    {1131, "Medium hall 2"},
    {1132, "Warm space"},
    {1133, "Cavernous space"},
    {1134, "Bright corridor"},
    {1135, "Bright small room"},
    {1136, "Bright medium room"},
    {1137, "Subtle ambience"},
    {1138, "Live ambience"},
    {1139, "Warm ambience"},
    {1140, "Plate 1"},
    {1141, "Plate 2, ringy"},
    {1142, "Mode 1  (6  ms)"},
    {1143, "Mode 2  (8  ms)"},
    {1144, "Mode 3  (10 ms)"},
    {1145, "Mode 4  (16 ms)"},
    {1146, "Mode 5  (20 ms)"},
    {1147, "Mode 6  (36 ms)"},
    {1148, "Mode 7  (8  ms, pan right)"},
    {1149, "Mode 8  (8  ms, pan left)"},
    {1150, "Mode 9  (16 ms, pan right)"},
    {1151, "Mode 10 (16 ms, pan left)"},
};

}  // namespace

const char* BuiltinUiString(std::uint32_t id) {
  std::size_t lo = 0, hi = sizeof kStrings / sizeof kStrings[0];
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (kStrings[mid].id == id) return kStrings[mid].text;
    if (kStrings[mid].id < id) lo = mid + 1; else hi = mid;
  }
  return "";
}

}  // namespace mw
