// In-memory double of the system processor times: a query that exists or not, and a script of
// readings a test lays out in advance.
#pragma once

#include <deque>

#include "os/processortimes.h"

class TFakeProcessorTimes : public IOsProcessorTimes {
 public:
  // --- set by the test ---
  bool Present = true;  // the system exports the query
  bool Works = true;    // the query succeeds
  // Each successful query takes the front reading, and keeps returning the last one taken once
  // the script is used up.
  std::deque<TProcessorTimes> Script;
  TProcessorTimes Current;

  // --- checked by the test ---
  int Queries = 0;

  // Appends a reading that advances the last scripted one (or Current) by the given amounts of
  // 100 ns, with busy = kernel and user time that is not idle.
  void AddInterval(uint64_t idle, uint64_t busyKernel, uint64_t user);

  bool Available() override { return Present; }
  bool GetSystemTimes(TProcessorTimes& times) override;
};
