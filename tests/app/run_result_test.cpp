#include <gtest/gtest.h>

#include "tests/support/fixture.h"
