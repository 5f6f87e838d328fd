#pragma once

// The keys of the stored settings, in the edition's scope (QSettings() once the application and
// organisation names are set). "endpoint" and "endpointca" are read only, for administrators and
// tests; the program never writes them.
namespace SettingsKey {

inline constexpr char login[] = "login";
inline constexpr char password[] = "password";
inline constexpr char number[] = "number";
inline constexpr char copyTwice[] = "copytwice";
inline constexpr char endpoint[] = "endpoint";
inline constexpr char endpointCa[] = "endpointca";

} // namespace SettingsKey
