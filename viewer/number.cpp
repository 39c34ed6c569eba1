// Text to double as the cell log and the command line need it.
#include <cstdlib>

#include "viewer.h"

double atof_value(const char* text) { return std::atof(text); }
