#include "app/program/onscreen.h"

#include <cstdio>

int RunOnScreen(TZemHost&, std::unique_ptr<TScene>, TMainThreadQueue&, IInstanceMark&,
                const std::string&) {
  std::fprintf(stderr, "korzem: the terminal shell is not built in; use --snapshot\n");
  return 1;
}
