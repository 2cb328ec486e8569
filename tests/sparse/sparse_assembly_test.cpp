#include <support/SparseReference.h>
#include <gtest/gtest.h>
