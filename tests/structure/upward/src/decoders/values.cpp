// The order of the faults is what the check must report.
// clang-format off
#include <QLabel>
#include "decoders/ui/w.h"
