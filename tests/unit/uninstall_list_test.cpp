#include "uninstall/uninstall_list.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Entries(const std::string& text) {
  std::vector<ListEntry> table(CountListPieces(text.data(), text.size()) + 1);
  size_t count = SplitList(text.data(), text.size(), table.data(), table.size());
  std::vector<std::string> entries;
  for (size_t i = 0; i < count; ++i) entries.push_back(text.substr(table[i].Offset, table[i].Length));
  return entries;
}

// --- Splitting the list ----------------------------------------------------

struct SplitCase {
  const char* name;
  std::string text;
  std::vector<std::string> entries;
};

TEST(UninstallListSplit, LinesTrimmedAndBlankLinesSkipped) {
  const SplitCase cases[] = {
      {"CR LF and LF endings", "a.txt\r\nsub\\b.txt\nc.txt\r\n", {"a.txt", "sub\\b.txt", "c.txt"}},
      {"last line without line end", "a\nb", {"a", "b"}},
      {"blank lines", "\n\r\n  \t\r\na\n\n", {"a"}},
      {"trailing blanks and tabs", "a.txt \t\r\nb.txt\t\n", {"a.txt", "b.txt"}},
      {"leading blanks stay", "  a.txt\n\tb\n", {"  a.txt", "\tb"}},
      {"lone CR is no line end", "a\rb\r\n", {"a\rb"}},
      {"empty list", "", {}},
      {"only a line feed", "\n", {}},
      {"entry ends at a NUL", std::string("ab\0cd\nef\n", 9), {"ab", "ef"}},
      {"NUL first", std::string("\0x\ny", 4), {"y"}},
  };
  for (const SplitCase& c : cases) EXPECT_EQ(Entries(c.text), c.entries) << c.name;
}

TEST(UninstallListSplit, LongLinesAreReadInPiecesOf2047) {
  std::string exact(2047, 'a');
  // 2047 characters and a line feed: the line feed is a piece of its own,
  // empty after trimming.
  EXPECT_EQ(Entries(exact + "\nz\n"), (std::vector<std::string>{exact, "z"}));
  EXPECT_EQ(CountListPieces((exact + "\nz\n").data(), exact.size() + 3), 3u);
  // 2046 characters and a line feed make one piece.
  std::string shorter(2046, 'b');
  EXPECT_EQ(CountListPieces((shorter + "\n").data(), 2047), 1u);
  EXPECT_EQ(Entries(shorter + "\n"), (std::vector<std::string>{shorter}));
  // 2048 characters: a piece of 2047 and one of 1.
  std::string longer = std::string(2047, 'c') + "d";
  EXPECT_EQ(Entries(longer + "\r\n"), (std::vector<std::string>{std::string(2047, 'c'), "d"}));
  // 5000 characters: 2047, 2047, 906.
  std::string very_long(5000, 'e');
  std::vector<std::string> pieces = Entries(very_long);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].size(), 2047u);
  EXPECT_EQ(pieces[1].size(), 2047u);
  EXPECT_EQ(pieces[2].size(), 906u);
}

TEST(UninstallListSplit, StopsAtCapacity) {
  std::string text = "a\nb\nc\n";
  ListEntry table[2];
  EXPECT_EQ(SplitList(text.data(), text.size(), table, 2), 2u);
  EXPECT_EQ(text.substr(table[1].Offset, table[1].Length), "b");
}

// --- The deletion passes ---------------------------------------------------

// A file system of full paths: folders end in nothing special but are in
// `folders`; a folder with something below it cannot be removed.
class FakeFiles {
 public:
  void AddFile(const std::string& path) { files_.insert(path); }
  void AddFolder(const std::string& path) { folders_.insert(path); }
  void Lock(const std::string& path) { locked_.insert(path); }
  // A link planted at path that leads outside the folder.
  void PlantLink(const std::string& path) { links_.insert(path); }
  bool Exists(const std::string& path) const { return files_.count(path) || folders_.count(path); }

  static EntryResult Delete(const char* path, void* context) {
    FakeFiles* self = static_cast<FakeFiles*>(context);
    std::string name = path;
    EntryResult result = self->DeleteOne(name);
    self->calls.push_back(name + (result == EntryResult::Deleted   ? " deleted"
                                  : result == EntryResult::Missing ? " missing"
                                  : result == EntryResult::Refused ? " refused"
                                                                   : " failed"));
    return result;
  }

  std::vector<std::string> calls;

 private:
  EntryResult DeleteOne(const std::string& path) {
    if (locked_.count(path)) return EntryResult::Failed;
    if (links_.count(path)) return EntryResult::Refused;
    if (files_.erase(path)) return EntryResult::Deleted;
    if (!folders_.count(path)) return EntryResult::Missing;
    std::string prefix = path + "\\";
    for (const std::string& file : files_)
      if (file.compare(0, prefix.size(), prefix) == 0) return EntryResult::Failed;
    for (const std::string& folder : folders_)
      if (folder.compare(0, prefix.size(), prefix) == 0) return EntryResult::Failed;
    folders_.erase(path);
    return EntryResult::Deleted;
  }

  std::set<std::string> files_;
  std::set<std::string> folders_;
  std::set<std::string> locked_;
  std::set<std::string> links_;
};

int RunPasses(const std::string& list, FakeFiles* files, const char* folder = "C:\\F\\") {
  std::vector<ListEntry> table(CountListPieces(list.data(), list.size()) + 1);
  size_t count = SplitList(list.data(), list.size(), table.data(), table.size());
  return RunDeletionPasses(list.data(), table.data(), count, folder, FakeFiles::Delete, files);
}

// The longest path the ANSI calls take has MAX_PATH - 1 = 259 characters.
TEST(UninstallPathLimit, EveryOfferedEntryMustFit) {
  const std::string folder = "C:\\" + std::string(200, 'f') + "\\";  // 204 characters
  const struct {
    const char* name;
    std::string list;
    bool fits;
  } cases[] = {
      {"EmptyList", "", true},
      {"ExactFit", std::string(55, 'e') + "\r\n", true},
      {"OneCharacterTooLong", "short\r\n" + std::string(56, 'e') + "\r\n", false},
      {"LongEntryLastOfMany", "a\r\nb\r\nc\\" + std::string(100, 'e') + "\r\n", false},
      // never offered to the passes, so of no account
      {"LongEntryOutsideTheFolder", "..\\" + std::string(100, 'e') + "\r\nC:\\" + std::string(100, 'e') + "\r\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ListEntry> table(CountListPieces(c.list.data(), c.list.size()) + 1);
    size_t count = SplitList(c.list.data(), c.list.size(), table.data(), table.size());
    EXPECT_EQ(EntriesFitPathLimit(c.list.data(), table.data(), count, folder.c_str(), 260), c.fits);
  }
}

TEST(UninstallPasses, FolderBeforeItsFilesGoesInTheSecondPassAndAThirdPassEnds) {
  FakeFiles files;
  files.AddFolder("C:\\F\\sub");
  files.AddFile("C:\\F\\sub\\a.txt");
  files.AddFile("C:\\F\\sub\\b.txt");
  EXPECT_EQ(RunPasses("sub\r\nsub\\a.txt\r\nsub\\b.txt\r\n", &files), 3);
  EXPECT_EQ(files.calls, (std::vector<std::string>{
                             "C:\\F\\sub failed",         // pass 1
                             "C:\\F\\sub\\a.txt deleted",  // pass 1
                             "C:\\F\\sub\\b.txt deleted",  // pass 1
                             "C:\\F\\sub deleted",         // pass 2; pass 3 finds nothing left
                         }));
  EXPECT_FALSE(files.Exists("C:\\F\\sub"));
}

TEST(UninstallPasses, EachNestingLevelListedFirstTakesOnePass) {
  FakeFiles files;
  files.AddFolder("C:\\F\\a");
  files.AddFolder("C:\\F\\a\\b");
  files.AddFolder("C:\\F\\a\\b\\c");
  files.AddFile("C:\\F\\a\\b\\c\\x.txt");
  // Files in pass 1, then c, b, a one per pass, then a pass without success.
  EXPECT_EQ(RunPasses("a\na\\b\na\\b\\c\na\\b\\c\\x.txt\n", &files), 5);
  EXPECT_FALSE(files.Exists("C:\\F\\a"));
}

TEST(UninstallPasses, FilesBeforeTheirFolderGoInOnePass) {
  FakeFiles files;
  files.AddFolder("C:\\F\\sub");
  files.AddFile("C:\\F\\sub\\a.txt");
  EXPECT_EQ(RunPasses("sub\\a.txt\nsub\n", &files), 2);
  EXPECT_EQ(files.calls.size(), 2u);
}

TEST(UninstallPasses, EmptyListMakesOnePass) {
  FakeFiles files;
  EXPECT_EQ(RunPasses("", &files), 1);
  EXPECT_EQ(RunPasses("\r\n \n\t\n", &files), 1);
  EXPECT_TRUE(files.calls.empty());
}

TEST(UninstallPasses, MissingAndRefusedEntriesCountAsFailureAndAreNotRetried) {
  FakeFiles files;
  files.AddFile("C:\\F\\here.txt");
  files.PlantLink("C:\\F\\link.txt");
  files.AddFolder("C:\\F\\sub");
  files.AddFile("C:\\F\\sub\\a.txt");
  EXPECT_EQ(RunPasses("gone.txt\nlink.txt\nsub\nhere.txt\nsub\\a.txt\n", &files), 3);
  EXPECT_EQ(files.calls, (std::vector<std::string>{
                             "C:\\F\\gone.txt missing", "C:\\F\\link.txt refused", "C:\\F\\sub failed",
                             "C:\\F\\here.txt deleted", "C:\\F\\sub\\a.txt deleted",
                             "C:\\F\\sub deleted",  // pass 2; pass 3 finds nothing left
                         }));
}

TEST(UninstallPasses, OnlyMissingEntriesEndAfterOnePass) {
  FakeFiles files;
  EXPECT_EQ(RunPasses("gone.txt\nsub\\gone.txt\n", &files), 1);
}

TEST(UninstallPasses, EntryThatKeepsFailingIsOfferedInEveryPass) {
  FakeFiles files;
  files.AddFolder("C:\\F\\sub");
  files.AddFile("C:\\F\\sub\\a.txt");
  files.AddFile("C:\\F\\busy.dll");
  files.Lock("C:\\F\\busy.dll");
  EXPECT_EQ(RunPasses("busy.dll\nsub\nsub\\a.txt\n", &files), 3);
  int offered = 0;
  for (const std::string& call : files.calls) offered += call == "C:\\F\\busy.dll failed";
  EXPECT_EQ(offered, 3);
  EXPECT_TRUE(files.Exists("C:\\F\\busy.dll"));

  // What is left for removal at restart: the held file alone, not the
  // missing entry nor the ones deleted, nor one outside the folder.
  FakeFiles again;
  again.AddFile("C:\\F\\busy.dll");
  again.AddFile("C:\\F\\x.txt");
  again.Lock("C:\\F\\busy.dll");
  std::string list = "gone.txt\nbusy.dll\n..\\out.dll\nx.txt\n";
  std::vector<ListEntry> table(CountListPieces(list.data(), list.size()) + 1);
  size_t count = SplitList(list.data(), list.size(), table.data(), table.size());
  size_t left = 99;
  RunDeletionPasses(list.data(), table.data(), count, "C:\\F\\", FakeFiles::Delete, &again, &left);
  ASSERT_EQ(left, 1u);
  EXPECT_EQ(list.substr(table[0].Offset, table[0].Length), "busy.dll");
}

TEST(UninstallPasses, EntriesOutsideTheFolderAreNeverOffered) {
  FakeFiles files;
  files.AddFile("C:\\F\\inside.txt");
  EXPECT_EQ(RunPasses("..\\outside.txt\nC:\\Windows\\x\n\\x\n\\\\server\\share\\x\nsub\\..\\..\\y\n"
                      ".\ninside.txt\n",
                      &files),
            2);
  EXPECT_EQ(files.calls, (std::vector<std::string>{"C:\\F\\inside.txt deleted"}));
}

TEST(UninstallPasses, JoinedPathThatDoesNotFitIsNeverOffered) {
  FakeFiles files;
  const std::string folder = "C:\\F\\";  // 5 bytes; joined paths get 1023 characters
  std::string fits(1018, 'a');
  std::string too_long(1019, 'b');
  files.AddFile(folder + fits);
  files.AddFile(folder + too_long);
  EXPECT_EQ(RunPasses(too_long + "\n" + fits + "\n", &files, folder.c_str()), 2);
  ASSERT_EQ(files.calls.size(), 1u);
  EXPECT_EQ(files.calls[0], folder + fits + " deleted");
  EXPECT_TRUE(files.Exists(folder + too_long));
}

TEST(UninstallPasses, DuplicateEntriesDeleteOnceAndFailOnce) {
  FakeFiles files;
  files.AddFile("C:\\F\\a.txt");
  EXPECT_EQ(RunPasses("a.txt\na.txt\n", &files), 2);
  EXPECT_EQ(files.calls, (std::vector<std::string>{"C:\\F\\a.txt deleted", "C:\\F\\a.txt missing"}));
}

TEST(UninstallPasses, DriveRootFolderJoinsDirectly) {
  FakeFiles files;
  files.AddFile("C:\\a.txt");
  EXPECT_EQ(RunPasses("a.txt\n", &files, "C:\\"), 2);
  EXPECT_FALSE(files.Exists("C:\\a.txt"));
}

}  // namespace
