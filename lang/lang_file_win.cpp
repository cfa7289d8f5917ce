#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "common/disk_file.h"
#include "common/error_state.h"
#include "common/path.h"
#include "common/program_path.h"
#include "common/text.h"
#include "lang/lang_file.h"
#include "lang/lang_library.h"

LangFile ProgramLangFile;

namespace {

// Two asterisks and the first 11 bytes of "*messages***": a header line of
// three asterisks, "messages" and three asterisks matches.
const char kMarker[] = "***messages**";
const int kMarkerLength = 13;
const int kSearchBlock = 8192;
// Every block overlaps the next by this much, so each start offset is tested.
const int kSearchOverlap = 16;
const int kSearchPasses = 16;

// The path of the file: name itself when it has a folder, else name beside
// the program. False when that does not fit or the program path has none.
bool LanguageFilePath(const char* name, char* path, size_t size) {
  // A trail byte of a double-byte character may be a backslash's code.
  if (NamePart(name) != name) return CopyText(path, size, name);
  char program[1024];
  if (!GetProgramPath(program, sizeof(program))) return false;
  char* program_name = NamePart(program);
  if (program_name == program) return false;
  *program_name = '\0';
  return CopyText(path, size, program) && AppendText(path, size, name);
}

// File offset of the marker, or -1 when none starts within the searched blocks.
int64_t FindMarker(DiskFile& file) {
  static char block[kSearchBlock];
  for (int pass = 0; pass < kSearchPasses; ++pass) {
    int64_t position = file.GetPos();
    int32_t count = file.Read(block, sizeof(block));
    if (position < 0 || count < kSearchOverlap) return -1;
    for (int32_t i = 0; i <= count - kSearchOverlap; ++i) {
      if (block[i] == '*' && std::memcmp(block + i, kMarker, kMarkerLength) == 0) return position + i;
    }
    file.Seek(position + count - kSearchOverlap, FILE_BEGIN);
  }
  return -1;
}

}  // namespace

void LangFile::Load(const char* name) {
  Clear();
  char path[1024];
  DiskFile file;
  if (LanguageFilePath(name, path, sizeof(path)) && file.Open(path, true, false)) {
    int64_t marker = FindMarker(file);
    char* section = marker < 0 ? nullptr : static_cast<char*>(std::malloc(kSectionLimit));
    if (section) {
      file.Seek(marker, FILE_BEGIN);
      int32_t count = file.Read(section, kSectionLimit);
      // a read error leaves the file loaded but empty
      if (count < 0) count = 0;
      bool indexed = LoadSection(section, static_cast<size_t>(count));
      std::free(section);
      if (!indexed) ProgramErrorState.OutOfMemory();
    }
    file.Close();
  }
  DecideLayoutDirection();
}

void LangFile::DecideLayoutDirection() {
  // A language library declares a right-to-left language by carrying a
  // dialog resource named "RTL".
  if (FindResourceA(hLangModule, "RTL", MAKEINTRESOURCEA(5))) {
    RightToLeft = true;
    return;
  }
  char direction[1024];
  Translate("LTR", direction, sizeof(direction), "LTR", TextKind::Window);
  RightToLeft = std::strcmp(direction, "RTL") == 0;
}
