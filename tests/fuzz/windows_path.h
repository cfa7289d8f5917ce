#pragma once
// How Windows turns a full ANSI path into the file it names, written apart
// from the program's own path code so that the fuzzers can hold the program
// to it: "/" and "\" both separate, runs of separators count as one, "."
// stays and ".." goes up (never above the drive), a name ending in one dot
// loses it, and the last name loses its trailing dots and blanks.
#include <string>
#include <vector>

#include "common/path.h"

enum class DoubleByteReading {
  AnyNextByte,  // a lead byte takes whatever byte follows (Wine, and Windows for valid pairs)
  ValidTrail,   // a lead byte takes only a byte that can be a trail byte (0x40 and up)
};

enum class DotsReading {
  Documented,    // only "." and ".." are special
  DotsAndBlanks,  // a name of dots and blanks only is "." (one dot or none) or ".." (more)
};

// The components of the named file, the drive first; empty when the path
// is not of the form X:\...
std::vector<std::string> ResolveWindowsPath(const std::string& path, const LeadBytes& table,
                                            DoubleByteReading bytes, DotsReading dots);

// True when path names something strictly below folder under every reading;
// otherwise *why says under which reading it does not.
bool IsStrictlyInside(const std::string& path, const std::string& folder, const LeadBytes& table,
                      std::string* why);
