#include "DorvTestSupport.h"
