// The language file read from disk, and the file object under it.
#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <string>

#include "common/disk_file.h"
#include "common/error_state.h"
#include "lang/lang_file.h"
#include "tests/support/temp_folder.h"

namespace {

const char kMarkerLine[] = "***messages***\r\n";
const int kLastMarkerOffset = 130816;

std::string Key(const char* src, const char* context, TextKind kind) {
  char key[9];
  LangFile::MakeKey(key, src, context, kind);
  return key;
}

std::string Translated(const char* src, const char* context, TextKind kind) {
  char out[1024];
  ProgramLangFile.Translate(src, out, sizeof(out), context, kind);
  return out;
}

class DiskFileTest : public ::testing::Test {
 protected:
  testenv::TempFolder folder_{"file"};
};

TEST_F(DiskFileTest, ClosedObject) {
  DiskFile file;
  EXPECT_FALSE(file.Open((folder_ / "missing.lng").c_str(), true, false));
  EXPECT_FALSE(file.IsOpen());
  char buffer[16];
  EXPECT_EQ(file.Read(buffer, sizeof(buffer)), -1);
  file.Seek(5, FILE_BEGIN);
  EXPECT_EQ(file.GetPos(), -1);
  EXPECT_TRUE(file.Close());
}

TEST_F(DiskFileTest, ReadSeekAndShareWithAWriter) {
  std::string path = folder_ / "data.bin";
  ASSERT_TRUE(testenv::WriteFileBytes(path, "0123456789"));
  DiskFile file;
  ASSERT_TRUE(file.Open(path.c_str(), true, false));
  // another program may rewrite the file while the loader holds it
  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE) << GetLastError();
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);

  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(file.GetPos(), 4);
  file.Seek(-3, FILE_END);
  EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 3);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 0);
  file.Seek(1, FILE_BEGIN);
  file.Seek(2, FILE_CURRENT);
  EXPECT_EQ(file.GetPos(), 3);
  EXPECT_TRUE(file.Close());
  EXPECT_FALSE(file.IsOpen());
  EXPECT_TRUE(file.Close());
}

TEST(ErrorStateDeathTest, OutOfMemoryEndsWithCode8) {
  EXPECT_EXIT(ProgramErrorState.OutOfMemory(), ::testing::ExitedWithCode(8), "");
}

class LangFileLoadTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_right_to_left_ = ProgramLangFile.RightToLeft; }
  void TearDown() override {
    ProgramLangFile.Clear();
    ProgramLangFile.RightToLeft = saved_right_to_left_;
  }
  void LoadBytes(const std::string& bytes) {
    std::string path = folder_ / "uninstall.lng";
    ASSERT_TRUE(testenv::WriteFileBytes(path, bytes));
    ProgramLangFile.Load(path.c_str());
  }
  testenv::TempFolder folder_{"lng"};

 private:
  bool saved_right_to_left_ = false;
};

// Files with the marker at seeded random offsets, behind filler with random
// line ends, and at the edges of the search blocks: the entry after the
// marker is found exactly when the marker starts at 130,816 or before.
TEST_F(LangFileLoadTest, MarkerFoundUpToTheLastSearchedOffset) {
  const std::string entry = Key("Yes", nullptr, TextKind::Message) + "=\"Ja\"";
  std::vector<int> offsets = {0, 1, 8175, 8176, 8177, 8180, 16352, 16353, 122640,
                              kLastMarkerOffset - 1, kLastMarkerOffset, kLastMarkerOffset + 1, 131100};
  std::mt19937 random(14);
  for (int i = 0; i < 40; ++i) offsets.push_back(static_cast<int>(random() % 132000));
  const char* line_ends[] = {"\r\n", "\n", "\r", "\r\n\r\n"};
  for (size_t round = 0; round < offsets.size(); ++round) {
    int offset = offsets[round];
    const char* line_end = line_ends[round % 4];
    SCOPED_TRACE("marker at " + std::to_string(offset) + ", round " + std::to_string(round));
    std::string filler;
    while (static_cast<int>(filler.size()) < offset) {
      if (random() % 40 == 0)
        filler += line_end;
      else
        filler += static_cast<char>('a' + random() % 26);
    }
    filler.resize(static_cast<size_t>(offset));
    ASSERT_NO_FATAL_FAILURE(LoadBytes(filler + "***messages***" + line_end + entry + line_end));
    bool expected = offset <= kLastMarkerOffset;
    EXPECT_EQ(ProgramLangFile.IsLoaded(), expected);
    EXPECT_EQ(Translated("Yes", nullptr, TextKind::Message), expected ? "Ja" : "Yes");
  }
}

TEST_F(LangFileLoadTest, SectionEndsAfter65536Bytes) {
  std::string inside = Key("inside", nullptr, TextKind::Message) + "=\"in\"\r\n";
  std::string outside = Key("outside", nullptr, TextKind::Message) + "=\"out\"\r\n";
  std::string section = std::string(kMarkerLine) + inside;
  section += std::string(LangFile::kSectionLimit - section.size() - inside.size(), '\n') + inside;
  ASSERT_EQ(section.size(), static_cast<size_t>(LangFile::kSectionLimit));
  ASSERT_NO_FATAL_FAILURE(LoadBytes("header\r\n" + section + outside));
  EXPECT_EQ(Translated("inside", nullptr, TextKind::Message), "in");
  EXPECT_EQ(Translated("outside", nullptr, TextKind::Message), "outside");
}

TEST_F(LangFileLoadTest, UnloadedWithoutFileOrMarker) {
  ProgramLangFile.Load((folder_ / "missing.lng").c_str());
  EXPECT_FALSE(ProgramLangFile.IsLoaded());
  // the marker needs 16 bytes of the file from its start
  ASSERT_NO_FATAL_FAILURE(LoadBytes("***messages***"));
  EXPECT_FALSE(ProgramLangFile.IsLoaded());
  ASSERT_NO_FATAL_FAILURE(LoadBytes("**messages***\r\n50a17ae8=\"RTL\"\r\n"));
  EXPECT_FALSE(ProgramLangFile.IsLoaded());
  EXPECT_FALSE(ProgramLangFile.RightToLeft);
}

TEST_F(LangFileLoadTest, LayoutDirectionAndNameBesideTheProgram) {
  // a bare name is looked for in the program's own folder
  char program[1024];
  ASSERT_GT(GetModuleFileNameA(nullptr, program, sizeof(program)), 0u);
  std::string folder = program;
  folder.resize(folder.find_last_of('\\') + 1);
  std::string name = "lang_test_" + std::to_string(GetCurrentProcessId()) + ".lng";
  ASSERT_TRUE(testenv::WriteFileBytes(folder + name, std::string(kMarkerLine) + "50a17ae8=\"RTL\"\r\n"));
  ProgramLangFile.Load(name.c_str());
  DeleteFileA((folder + name).c_str());
  EXPECT_TRUE(ProgramLangFile.IsLoaded());
  EXPECT_TRUE(ProgramLangFile.RightToLeft);

  ASSERT_NO_FATAL_FAILURE(LoadBytes(std::string(kMarkerLine) + "50a17ae8=\"LTR\"\r\n"));
  EXPECT_TRUE(ProgramLangFile.IsLoaded());
  EXPECT_FALSE(ProgramLangFile.RightToLeft);
}

}  // namespace
