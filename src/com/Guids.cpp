// The identifiers, defined once for the library; the Linux build exports them.
#define ZMTAGIO_DEFINE_GUIDS
#include "zmTagIO.h"
