// Folders the program makes in shared places (/tmp, a TMPDIR under sudo) are its own: a path that
// another user planted there is never followed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "hw/driverlink.h"
#include "os/driverservice.h"
#include "os/linux/singleinstance.h"
#include "os/linux/userdirs.h"
#include "tests/support/tempdir.h"

namespace fs = std::filesystem;

namespace {

// Sets an environment variable for the life of the object.
class TEnv {
 public:
  TEnv(const char* name, const char* value) : Name_(name) {
    if (const char* old = std::getenv(name)) Old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~TEnv() {
    if (Old_) {
      ::setenv(Name_, Old_->c_str(), 1);
    } else {
      ::unsetenv(Name_);
    }
  }
  TEnv(const TEnv&) = delete;
  TEnv& operator=(const TEnv&) = delete;

 private:
  const char* Name_;
  std::optional<std::string> Old_;
};

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode;
}

size_t EntriesIn(const std::string& dir) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++count;
  return count;
}

}  // namespace

TEST(PrivateDirs, TheDriverStandInNeverWritesThroughAPlantedPath) {
  TTempDir dir;
  const std::string shared = dir / "shared";
  const std::string victim = dir / "victim";
  fs::create_directory(shared);
  fs::create_directory(victim);
  const TEnv runtime("XDG_RUNTIME_DIR", nullptr);
  const TEnv tmp("TMPDIR", shared.c_str());
  // The name an attacker would guess: the old per-process folder, pointing elsewhere.
  fs::create_directory_symlink(victim, shared + "/korzem-driver-" + std::to_string(::getpid()));
  {
    std::unique_ptr<IOsDriverService> service = OsCreateDriverService({});
    const std::string root = service->WindowsDirectory();
    ASSERT_EQ(root.rfind(shared + "/korzem-driver-", 0), 0u) << root;
    EXPECT_EQ(ModeOf(root) & 07777, 0700u);
    const std::string image = service->SystemDirectory() + "/Drivers/ZemDrv.sys";
    ASSERT_EQ(service->WriteImageFile(image, "image"), TImageWriteResult::Ok);
    EXPECT_TRUE(S_ISREG(ModeOf(image)));
    // Written again (a second installation in the same run) it is created anew.
    ASSERT_EQ(service->WriteImageFile(image, "image 2"), TImageWriteResult::Ok);
    // Nothing outside the stand-in's own folder is written or removed.
    EXPECT_EQ(service->WriteImageFile(victim + "/ZemDrv.sys", "x"),
              TImageWriteResult::CannotCreate);
    EXPECT_EQ(service->WriteImageFile(root + "/../escaped.sys", "x"),
              TImageWriteResult::CannotCreate);
    EXPECT_FALSE(service->RemoveImageFile(victim + "/anything"));
    EXPECT_EQ(EntriesIn(victim), 0u);
  }
  // At the end only the planted link is left.
  EXPECT_EQ(EntriesIn(shared), 1u);
  EXPECT_EQ(EntriesIn(victim), 0u);
}

TEST(PrivateDirs, PrivateMeansARealDirectoryOfTheUserClosedToOthers) {
  TTempDir dir;
  const std::string mine = dir / "mine";
  ASSERT_TRUE(MakePrivateDirectory(mine + "/deeper"));
  EXPECT_EQ(ModeOf(mine) & 07777, 0700u);
  EXPECT_TRUE(IsPrivateDirectory(mine));
  // A link to a private folder is not one, nor is a folder others can enter.
  fs::create_directory_symlink(mine, dir / "link");
  EXPECT_FALSE(MakePrivateDirectory(dir / "link"));
  EXPECT_FALSE(IsPrivateDirectory(dir / "link"));
  ASSERT_EQ(::chmod(mine.c_str(), 0755), 0);
  EXPECT_FALSE(IsPrivateDirectory(mine));

  const std::string first = MakeUniqueDirectory(dir.Path(), "korzem-driver-");
  const std::string second = MakeUniqueDirectory(dir.Path(), "korzem-driver-");
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, second);
  EXPECT_EQ(ModeOf(first) & 07777, 0700u);
  EXPECT_TRUE(MakeUniqueDirectory(dir / "missing", "x").empty());
}

TEST(PrivateDirs, AnInstanceMarkNeverFollowsALinkedFolder) {
  TTempDir dir;
  const std::string elsewhere = dir / "elsewhere";
  fs::create_directory(elsewhere);
  fs::create_directory_symlink(elsewhere, dir / "runtime");
  std::unique_ptr<IInstanceMark> mark = OsCreateInstanceMark(dir / "runtime");
  // Runs (no other user decides whether this program may start) but leaves nothing there.
  EXPECT_TRUE(mark->Owned());
  EXPECT_TRUE(mark->TakeRequests().empty());
  EXPECT_EQ(EntriesIn(elsewhere), 0u);
  EXPECT_FALSE(OsCreateInstancePoster(dir / "runtime")->PostRequest(TInstanceRequest::Restore));
}
