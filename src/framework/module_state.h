// The module's process-wide framework state: its instance and resource
// handles, the thread that loaded it, the application name used as message
// box caption, the registry key and profile, and the help file.
#pragma once

#include <windows.h>

#include <string>

namespace qvx::fw {

enum class HelpType { WinHelp, HtmlHelp };

struct ModuleState {
  HINSTANCE instance = nullptr;   // this module
  HINSTANCE resources = nullptr;  // where strings and dialogs come from; published atomically
  DWORD threadId = 0;             // the host's user-interface thread, which loaded the module
  HelpType helpType = HelpType::WinHelp;
  std::string appName;            // caption of the module's message boxes
  std::string registryKey;        // HKCU\Software\<registryKey>\<profileName>
  std::string profileName;        // fixed from appName when the registry key is set
  std::string helpFilePath;
};

ModuleState& Module();

// Full path of a module's file; empty (with GetLastError set) on failure.
std::wstring ModuleFilePath(HINSTANCE module);

// Called once from DllMain: records the instance, its file's base name as the
// first application name, and the loading thread.
void AttachModule(HINSTANCE instance);

// Makes a language resource library (or the module itself) the source of
// strings and dialogs.
void SetResourceHandle(HINSTANCE resources);

// Profile values then live under HKCU\Software\<key>\<application name as it
// is now>; a later change of the application name does not move them.
void SetRegistryKey(const std::string& key);

// A string resource as ANSI text; empty when it does not exist.
std::string LoadResString(UINT id);

// A message box with the module's caption, owned by the thread's active window.
int ModuleMessageBox(const std::string& text, UINT type);

// Profile integers under HKCU\Software\<key>\<profile>\<section>. GetProfileInt
// returns defaultValue when the value is missing or not a DWORD.
UINT GetProfileInt(const std::string& section, const std::string& entry, int defaultValue);
bool WriteProfileInt(const std::string& section, const std::string& entry, int value);

}  // namespace qvx::fw
