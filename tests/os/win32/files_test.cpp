// Files with atomic replacement and the program's paths, over the real Win32 file API (Wine).
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "os/atomicfile.h"
#include "os/files.h"
#include "tests/support/tempdir.h"

namespace {

std::string Read(const std::string& path) {
  std::string bytes;
  EXPECT_EQ(OsReadWholeFile(path, bytes), TWholeFileRead::Ok);
  return bytes;
}

size_t EntriesIn(const std::string& dir) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++count;
  return count;
}

}  // namespace

TEST(WinAtomicFile, CreatesReplacesAndLeavesOnlyTheFile) {
  TTempDir dir;
  const std::string path = dir / "KorZem.ini";
  std::string bytes;
  EXPECT_EQ(OsReadWholeFile(path, bytes), TWholeFileRead::Missing);
  EXPECT_EQ(OsReadWholeFile(dir / "no-such-folder\\KorZem.ini", bytes), TWholeFileRead::Missing);

  ASSERT_TRUE(OsReplaceWholeFile(path, "[Config]\r\nA=1\r\n"));
  EXPECT_EQ(Read(path), "[Config]\r\nA=1\r\n");
  const std::string large(300000, 'x');
  ASSERT_TRUE(OsReplaceWholeFile(path, large));
  EXPECT_EQ(Read(path), large);
  ASSERT_TRUE(OsReplaceWholeFile(path, ""));
  EXPECT_EQ(Read(path), "");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(WinAtomicFile, AFailedWriteKeepsTheOldFileAndNoTemporaryFile) {
  TTempDir dir;
  const std::string path = dir / "KorZem.ini";
  ASSERT_TRUE(OsReplaceWholeFile(path, "old"));
  EXPECT_FALSE(OsReplaceWholeFile(path, "a much longer new content", 4));
  EXPECT_EQ(Read(path), "old");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
  // A folder that does not exist cannot take the temporary file.
  EXPECT_FALSE(OsReplaceWholeFile(dir / "missing\\KorZem.ini", "x"));
  EXPECT_FALSE(OsReplaceWholeFile("", "x"));
}

TEST(WinAtomicFile, AReplacedFileKeepsItsAttributes) {
  // Wine's ReplaceFile replaces the file but does not carry its attributes over.
  if (::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr)
    GTEST_SKIP() << "Wine's ReplaceFile keeps no attributes";
  TTempDir dir;
  const std::string path = dir / "KorZem.ini";
  ASSERT_TRUE(OsReplaceWholeFile(path, "old"));
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(OsReplaceWholeFile(path, "new"));
  EXPECT_EQ(Read(path), "new");
  EXPECT_NE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
}

TEST(WinAtomicFile, AFileHeldOpenByAReaderIsStillReplaced) {
  TTempDir dir;
  const std::string path = dir / "KorZem.ini";
  ASSERT_TRUE(OsReplaceWholeFile(path, "old"));
  // Another program reading the file the way editors do: sharing read, write and delete.
  HANDLE reader = ::CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  const bool replaced = OsReplaceWholeFile(path, "new");
  ::CloseHandle(reader);
  EXPECT_TRUE(replaced);
  EXPECT_EQ(Read(path), "new");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(WinFiles, AnExclusiveFileShutsOutASecondWriterAndTruncates) {
  TTempDir dir;
  const std::string path = dir / "RwDebug.rw";
  ASSERT_TRUE(OsReplaceWholeFile(path, "an older, longer log"));
  {
    std::unique_ptr<IOsFile> first = OsCreateFileExclusive(path, /*writeThrough=*/true);
    ASSERT_TRUE(first);
    EXPECT_FALSE(OsCreateFileExclusive(path, false));
    EXPECT_TRUE(first->Write("line 1\r\n"));
    EXPECT_TRUE(first->Write("line 2\r\n"));
  }
  EXPECT_EQ(Read(path), "line 1\r\nline 2\r\n");
  EXPECT_FALSE(OsCreateFileExclusive(dir / "missing\\RwDebug.rw", false));
}

TEST(WinFiles, TheExecutableAndItsFolder) {
  const std::string path = OsExecutablePath();
  const std::string directory = OsExecutableDirectory();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.substr(path.size() - 4), ".exe");
  EXPECT_EQ(path.substr(0, directory.size() + 1), directory + OsPathSeparator());
  EXPECT_EQ(OsPathSeparator(), '\\');
  EXPECT_TRUE(OsFileExists(path));
  EXPECT_FALSE(OsFileExists(directory));
  EXPECT_FALSE(OsFileExists(directory + "\\no-such-file.exe"));
}
