#include "os/test/fakesingleinstance.h"

bool TFakeInstancePoster::PostRequest(TInstanceRequest request) {
  Attempts.push_back(request);
  if (!Running) return false;
  Posted.push_back(request);
  return true;
}
