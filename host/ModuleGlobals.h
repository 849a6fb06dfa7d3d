#pragma once

// What the module entry learns about the module, for the framework (the editor finds its page
// files under the module's folder).

#include <string>

void SetModuleHandle(void* handle);
void* ModuleHandle();
// Stores the folder of the module's file: the path cut just after its last separator.
void SetModulePath(const std::string& path);
const std::string& ModuleFolder();

// The path up to and including its last separator; a path without one is used whole.
std::string FolderOfPath(const std::string& path, char separator);
