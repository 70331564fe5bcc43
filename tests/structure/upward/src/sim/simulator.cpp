#include "share/nmea.h"
