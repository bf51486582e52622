// Opening a stdio stream by a Windows-form path (fopen / _wfopen as the
// runtime library does it). The path is translated by toNativePath.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// fopen of the translated path with `mode` ("rb", "wb", ...); nullptr (and
// the last error set) when the path cannot be translated or opened. A
// folder is never opened as a file.
std::FILE* openStdio(const std::string& windowsPath, const char* mode);

}  // namespace platform
