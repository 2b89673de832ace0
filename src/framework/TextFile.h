#pragma once
// Plain text files that other processes read and write at the same time.
#include <string>

// Appends line and CR LF in UTF-8, creating the file if need be. The file is opened for this
// line alone, so a reader sees it at once and writers in other processes keep their order.
// Answers false when the line is not all written.
bool AppendTextLine(const std::wstring& path, const std::wstring& line);
