#include <QLabel>
#include "decoders/ui/w.h"
