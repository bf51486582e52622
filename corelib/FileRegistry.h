// A small registry kept in one text file instead of the system registry: a
// tree of named nodes under "root", each with a type and a value held as
// text. Every call reads the whole file; a write writes it back whole
// through a side file. Threads of a process are serialised by one thread
// lock, processes by a machine-wide lock named after the file, so several
// processes may share one file. The file is object-stream text.
//
// Paths name nodes below the root, components separated by '\'. Results:
// 0 done, 1 the file was not read or not written (or a lock was refused),
// 2 bad argument, 3 not found, 4 the node has another type.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace VemoraCorelib::FileRegistry {

enum Result { kDone = 0, kFileFailed = 1, kBadArgument = 2, kNotFound = 3, kWrongType = 4 };
// Stored as "int", "uint", "dbl", "str", "lst"; a type name read from the
// file that is none of these gives kUnknown (written back as "[undef]").
enum Type { kInt = 0, kUint = 1, kDouble = 2, kString = 3, kList = 4, kUnknown = 5 };

// The file, resolved (environment references, normalised, long form);
// initially "C:\Vemora\vemora.freg". Meant for start-up, before any use.
int setPath(const std::string& path);
std::string path();

// The node's value when it exists with that type. A missing or empty file
// is a root without children.
int get(const std::string& path, int type, std::string& value);
// Replaces the node (dropping the nodes below it), creating the nodes on
// the way with type kString and an empty value, and writes the file. Empty
// components on the way are skipped. A name the file cannot carry (empty,
// blank at either end, a line break, "=", a leading "#", "{" or "}") or a
// path nested deeper than a file may be gives 2, and so does a value holding
// a CR (the file cannot carry it).
int set(const std::string& path, int type, const std::string& value);

int getInt(const std::string& path, int64_t& value);
int getUint(const std::string& path, uint64_t& value);
int getDouble(const std::string& path, double& value);
// Items end at each NUL; a second NUL in a row ends the list.
int getList(const std::string& path, std::vector<std::string>& items);
// Each item followed by NUL, then one more NUL.
int setList(const std::string& path, const std::vector<std::string>& items);

// Whether the system base serves configuration values from here; off at
// start.
void setUseFileRegistry(bool use);
bool useFileRegistry();

}  // namespace VemoraCorelib::FileRegistry
