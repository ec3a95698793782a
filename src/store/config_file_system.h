// The operating system's side of the file operations (config_file.h): one implementation per
// platform, config_file_win32.cpp and config_file_posix.cpp.
#pragma once

#include "store/config_file.h"

#include <cstdio>

std::FILE* SystemOpenRead(const char* path, OpenFailure* failure);
std::FILE* SystemCreateNew(const char* path, bool* taken);
bool SystemFlush(std::FILE* file);
bool SystemReplace(const char* from, const char* to, bool* busy);
bool SystemRemove(const char* path);
void SystemPause(unsigned milliseconds);
