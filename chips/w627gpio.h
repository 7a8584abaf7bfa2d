// GPIO of the Winbond W83627DHG Super I/O: six groups of eight pins (GPIO10 to GPIO67) in logical
// devices 7 and 9, several of them shared with other functions through the global multiplexer
// registers CR29, CR2C and CR2D.
#pragma once

#include "chips/gpiosio.h"

class TW627Gpio : public TSioGpio {
 public:
  explicit TW627Gpio(TSio& sio);
};
