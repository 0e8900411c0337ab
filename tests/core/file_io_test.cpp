// Opening files without waiting on special ones, and the atomic writer: all or
// nothing, nothing left behind even when the writing process dies, and an
// existing file kept when asked.
#include "core/file_io.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "core/errors.h"
#include "io/bmp_builder.h"
#include "support/test_support.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(OpenRegularFile, SpecialFilesAreRefusedWithoutWaiting) {
  test::TempDir dir;
  // A FIFO nobody writes to would hold a blocking open for ever.
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0644), 0);
  for (const std::string& path : {dir.File("pipe"), std::string("/dev/zero"), dir.Path().string()}) {
    std::uint64_t size = 0;
    EXPECT_THROW(OpenRegularFile(path, size), ReadError) << path;
    try {
      ReadWholeFile(path);
      ADD_FAILURE() << path;
    } catch (const ReadError& e) {
      EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
    }
  }
  test::WriteBytes(dir.File("small"), std::vector<std::uint8_t>(100, 7));
  EXPECT_EQ(ReadWholeFile(dir.File("small"), 100).size(), 100u);
  EXPECT_THROW(ReadWholeFile(dir.File("small"), 99), ReadError);
}

TEST(WriteFileAtomically, AProcessKilledWhileWritingLeavesNothing) {
  // The file-size limit kills the writer (SIGXFSZ) in the middle of its bytes.
  test::TempDir dir;
  const std::vector<std::uint8_t> bytes(1 << 20, 0x5A);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    try {
      WriteFileAtomically(dir.File("out.bmp"), bytes);
    } catch (...) {
    }
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the limit did not stop the writer";
  EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
  EXPECT_TRUE(Names(dir.Path()).empty());
}

TEST(WriteFileAtomically, KeepNeverTouchesAnExistingName) {
  test::TempDir dir;
  const std::string path = dir.File("r.bmp");
  EXPECT_TRUE(WriteFileAtomically(path, std::vector<std::uint8_t>{1, 2}, ExistingFile::Keep));
  EXPECT_FALSE(WriteFileAtomically(path, std::vector<std::uint8_t>{3}, ExistingFile::Keep));
  fs::create_symlink("nowhere", dir.File("link.bmp"));
  EXPECT_FALSE(WriteFileAtomically(dir.File("link.bmp"), std::vector<std::uint8_t>{4}, ExistingFile::Keep));
  EXPECT_EQ(test::ReadBytes(path), (std::vector<std::uint8_t>{1, 2}));
  EXPECT_TRUE(WriteFileAtomically(path, std::vector<std::uint8_t>{5}));
  EXPECT_EQ(test::ReadBytes(path), (std::vector<std::uint8_t>{5}));
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"link.bmp", "r.bmp"}));
  EXPECT_THROW(WriteFileAtomically(dir.File("missing/x.bmp"), std::vector<std::uint8_t>{6}), WriteError);
}

}  // namespace
}  // namespace corvane
