#pragma once
// The messages section of the language file in memory, and the translation
// of texts through it. No <windows.h> here; loading from disk and the layout
// decision are in lang_file_win.cpp.
#include <cstddef>
#include <cstdint>

// The seed byte that starts every key.
enum class TextKind : unsigned char {
  Message = 's',  // numbered messages
  Window = '$',   // dialog captions and control texts, layout and scale entries
};

class LangFile {
 public:
  // Most bytes of a section that are kept, counted from its marker.
  static const int32_t kSectionLimit = 65536;

  LangFile() = default;
  ~LangFile();
  LangFile(const LangFile&) = delete;
  LangFile& operator=(const LangFile&) = delete;

  // Loads the messages section of the file name (beside the program unless
  // name has a folder), then decides the layout direction. Ends the process
  // with exit code 8 when memory runs out while indexing.
  void Load(const char* name);
  // RightToLeft from an "RTL" dialog in the language module, else from the
  // translation of "LTR".
  void DecideLayoutDirection();

  // Takes a section as read from the file, starting at its marker (at most
  // kSectionLimit bytes are used): resolves escapes, turns line ends into
  // form feeds, indexes and sorts the lines. Whatever was loaded before is
  // dropped. False only when memory ran out while indexing, which the
  // caller treats as fatal; a failed allocation of the text leaves the file
  // unloaded and is not fatal.
  bool LoadSection(const char* bytes, size_t size);
  // Frees the section: the file is no longer loaded.
  void Clear();

  bool IsLoaded() const { return Data != nullptr; }

  // Writes the translation of src to out (size bytes; may be src itself)
  // and returns true. Without one, or when the translation does not fit,
  // out gets src, shortened at a character boundary if even that does not
  // fit, and the result is false.
  bool Translate(const char* src, char* out, size_t out_size, const char* context,
                 TextKind kind) const;

  // The key of a text: 8 lowercase hexadecimal digits and a NUL.
  static void MakeKey(char key[9], const char* src, const char* context, TextKind kind);

  char* Data = nullptr;  // section text, form feeds for line ends, NUL-terminated
  int32_t Size = 0;      // bytes before the terminating NUL
  struct {
    int32_t* Items = nullptr;  // line starts, sorted by their first 8 bytes
    int32_t Count = 0;
    int32_t Capacity = 0;
  } LineIndex;
  bool RightToLeft = false;

 private:
  bool AppendLine(int32_t offset);
  const char* FindEntry(const char* key) const;
};

// The program's language file.
extern LangFile ProgramLangFile;
