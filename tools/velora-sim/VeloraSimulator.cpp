#include "VeloraSimulator.h"
