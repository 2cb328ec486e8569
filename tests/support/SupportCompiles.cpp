// Compiles every support header once with the library's warnings, so a
// broken helper shows up here rather than in whichever suite includes it first.
#include "AllocationSweep.h"
#include "DatabaseTest.h"
#include "FamilyError.h"
#include "ReferenceMatrix.h"
