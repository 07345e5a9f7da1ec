#pragma once

// The fixed texts of the project commands, and the name question of a save, so the window's
// handlers and the headless renderer use the same ones.

#include <functional>
#include <string>

namespace schauplatz {

// ProjectFile of a project that was never saved or loaded.
inline constexpr const char* kNewProjectName = "Neues Projekt.vbk";
inline constexpr const char* kOpenProjectTitle = "Projekt laden";
inline constexpr const char* kSaveProjectTitle = "Projekt speichern";
inline constexpr const char* kProjectFilter = "Bildkomposition|*.vbk";
// Appended to a name typed without an extension, so the "*.vbk" filter finds it again.
inline constexpr const char* kProjectDefaultExt = "vbk";
inline constexpr const char* kSaveProjectLog = "Speichere Projekt:";
inline constexpr const char* kLoadProjectLog = "Lade Projekt:";

// The name a save writes to: Name itself, or for an unnamed project (kNewProjectName) the
// answer of askName (the save dialog). "" means the save ends here and writes nothing: an
// empty Name, or a name question that was cancelled.
std::string resolveSaveName(const std::string& Name, const std::function<std::string()>& askName);

} // namespace schauplatz
