// The operating system's side of the file operations (config_file.h): one implementation per
// platform, config_file_win32.cpp and config_file_posix.cpp.
#pragma once

#include "store/config_file.h"

#include <cstdio>

std::FILE* SystemOpenRead(const char* path, FileStatus* status);
std::FILE* SystemCreateNew(const char* path, FileStatus* status);
bool SystemFlush(std::FILE* file, FileStatus* status);
bool SystemReplace(const char* from, const char* to, FileStatus* status);
bool SystemPlace(const char* from, const char* to, FileStatus* status);
bool SystemRemove(const char* path);
void SystemExamine(const char* path, NameFacts* facts);
bool SystemRemoveStale(const char* path);
void SystemPause(unsigned milliseconds);
// Why the C library's latest read, write or close failed, from the system's error.
FileStatus SystemStreamFailure();
