// GPIO of the Winbond W83667HG Super I/O: nine groups of eight pins (GPIO10 to GPIO97) in logical
// devices 7, 8 and 9, many of them shared with other functions through the global multiplexer
// registers CR24, CR27, CR29, CR2A, CR2B and CR2C.
#pragma once

#include "chips/gpiosio.h"

class TW667Gpio : public TSioGpio {
 public:
  explicit TW667Gpio(TSio& sio);
};
