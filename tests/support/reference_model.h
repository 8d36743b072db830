// The table arithmetic of the one plain reference (cell, fraction,
// tetrahedron, interpolation), under the name older tests include.
#pragma once

#include "support/reference.h"
