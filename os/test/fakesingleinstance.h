// In-memory double of the single-instance poster: a running program that is there or not.
#pragma once

#include <vector>

#include "os/singleinstance.h"

class TFakeInstancePoster : public IInstancePoster {
 public:
  // --- set by the test ---
  bool Running = true;  // a running program's window can be reached

  // --- checked by the test ---
  std::vector<TInstanceRequest> Attempts;  // every request, reached or not
  std::vector<TInstanceRequest> Posted;    // the requests the running program received

  bool PostRequest(TInstanceRequest request) override;
};
