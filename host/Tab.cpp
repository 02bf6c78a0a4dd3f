#include "host/Tab.h"

void TabReportOutOfRange(int line) { assert1(line, "Tab"); }
