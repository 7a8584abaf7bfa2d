#include <gtest/gtest.h>

#include <vector>

#include "os/linux/singleinstance.h"
#include "tests/support/tempdir.h"

TEST(InstanceMarkTest, OneOwnerAndItsRequestsInOrder) {
  TTempDir runtime;
  std::unique_ptr<IInstanceMark> first = OsCreateInstanceMark(runtime.Path());
  ASSERT_TRUE(first->Owned());
  EXPECT_FALSE(OsCreateInstanceMark(runtime.Path())->Owned());
  EXPECT_TRUE(first->TakeRequests().empty());

  std::unique_ptr<IInstancePoster> second = OsCreateInstancePoster(runtime.Path());
  ASSERT_TRUE(second->PostRequest(TInstanceRequest::Restore));
  ASSERT_TRUE(second->PostRequest(TInstanceRequest::Exit));
  EXPECT_EQ(first->TakeRequests(),
            (std::vector<TInstanceRequest>{TInstanceRequest::Restore, TInstanceRequest::Exit}));
  EXPECT_TRUE(first->TakeRequests().empty());
}

TEST(InstanceMarkTest, AReleasedMarkCanBeTakenAgainAndNobodyListensMeanwhile) {
  TTempDir runtime;
  OsCreateInstanceMark(runtime.Path()).reset();
  EXPECT_FALSE(OsCreateInstancePoster(runtime.Path())->PostRequest(TInstanceRequest::Restore));
  EXPECT_TRUE(OsCreateInstanceMark(runtime.Path())->Owned());
}

TEST(InstanceMarkTest, TheMarkIsFoundWithoutBeingCreatedOrDisturbed) {
  TTempDir runtime;
  EXPECT_FALSE(OsInstanceMarkHeld(runtime.Path()));
  // Asking left nothing behind: the first real start takes the mark.
  std::unique_ptr<IInstanceMark> running = OsCreateInstanceMark(runtime.Path());
  ASSERT_TRUE(running->Owned());
  EXPECT_TRUE(OsInstanceMarkHeld(runtime.Path()));
  EXPECT_TRUE(running->TakeRequests().empty());
  ASSERT_TRUE(OsCreateInstancePoster(runtime.Path())->PostRequest(TInstanceRequest::Exit));
  EXPECT_EQ(running->TakeRequests(), (std::vector<TInstanceRequest>{TInstanceRequest::Exit}));
  running.reset();
  EXPECT_FALSE(OsInstanceMarkHeld(runtime.Path()));
}
