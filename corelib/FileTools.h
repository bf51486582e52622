// Free functions on file-system paths and whole files. Paths are narrow
// Windows-form texts ('\' written, '/' accepted). Nothing here throws.
#pragma once

#include <string>

namespace VemoraCorelib::FileTools {

// Reads the whole file into `out`, dropping CR bytes. False (out unchanged)
// when the file cannot be opened; true otherwise.
bool readFile(const std::string& path, std::string& out);

}  // namespace VemoraCorelib::FileTools
